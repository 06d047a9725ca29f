#include "platform/FlatpakSandbox.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {

const QString appId = QStringLiteral("org.mozilla.firefox");
const QByteArray talk = "[Session Bus Policy]\norg.freedesktop.Flatpak=talk\n";

} // namespace

class FlatpakSandboxTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
    }

    void permissionComesFromEveryLayer_data()
    {
        // Files by installation ("user:" or "system:") and path below it, in the order written.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<QByteArray>>("contents");
        QTest::addColumn<bool>("granted");
        const QString own = QStringLiteral("user:overrides/") + appId;
        QTest::newRow("nothing said") << QStringList() << QList<QByteArray>() << false;
        QTest::newRow("the user's override") << QStringList{own} << QList<QByteArray>{talk} << true;
        QTest::newRow("owning the name includes talking")
            << QStringList{own} << QList<QByteArray>{"[Session Bus Policy]\norg.freedesktop.Flatpak = own\n"}
            << true;
        QTest::newRow("seeing is not talking")
            << QStringList{own} << QList<QByteArray>{"[Session Bus Policy]\norg.freedesktop.Flatpak=see\n"}
            << false;
        QTest::newRow("the application's own permissions")
            << QStringList{QStringLiteral("system:app/%1/current/active/metadata").arg(appId)}
            << QList<QByteArray>{"[Application]\nname=org.mozilla.firefox\n\n" + talk} << true;
        QTest::newRow("the user takes back what the system granted")
            << QStringList{QStringLiteral("system:overrides/") + appId, own}
            << QList<QByteArray>{talk, "[Session Bus Policy]\norg.freedesktop.Flatpak=none\n"} << false;
        QTest::newRow("in another group")
            << QStringList{own} << QList<QByteArray>{"[System Bus Policy]\norg.freedesktop.Flatpak=talk\n"}
            << false;
    }

    void permissionComesFromEveryLayer()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<QByteArray>, contents);
        QFETCH(bool, granted);
        const QString user = environment.dataHome() + QStringLiteral("/flatpak/");
        const QString system = environment.flatpakSystemDir() + u'/';
        QDir(user).removeRecursively();
        QDir(system).removeRecursively();
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QString path = files.at(i).startsWith(QStringLiteral("user:"))
                                     ? user + files.at(i).mid(5)
                                     : system + files.at(i).mid(7);
            QVERIFY(TestEnvironment::writeFile(path, contents.at(i)));
        }
        QCOMPARE(FlatpakSandbox::mayRunOutside(appId), granted);
    }

    // The wrapper hands the browser's arguments and standard streams to the host unchanged,
    // whatever the host's path holds.
    void wrapperRunsTheHostOutside()
    {
        const QString bin = environment.scratch() + QStringLiteral("/bin");
        QVERIFY(TestEnvironment::writeFile(bin + QStringLiteral("/flatpak-spawn"),
                                           "#!/bin/sh\n[ \"$1\" = --host ] || exit 9\nshift\nexec \"$@\"\n",
                                           true));
        const QString host =
            environment.scratch() + QStringLiteral("/it's a \"$HOME\" folder/RushletNativeHost");
        QVERIFY(TestEnvironment::writeFile(host, "#!/bin/sh\nprintf '%s|' \"$@\"\ncat\n", true));
        const QString wrapper = environment.scratch() + QStringLiteral("/wrapper.sh");
        QVERIFY(TestEnvironment::writeFile(wrapper, FlatpakSandbox::hostWrapper(host), true));

        QProcess run;
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
        run.setProcessEnvironment(variables);
        run.start(wrapper,
                  {QStringLiteral("/home/u/.mozilla/native-messaging-hosts/com.rushlet.downloader.json"),
                   QStringLiteral("rushlet@example.com")});
        QVERIFY(run.waitForStarted(20000));
        const QByteArray frame("\x05\x00\x00\x00{}\n\x00", 8);
        run.write(frame);
        run.closeWriteChannel();
        QVERIFY(run.waitForFinished(20000));
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.readAllStandardOutput(),
                 "/home/u/.mozilla/native-messaging-hosts/com.rushlet.downloader.json|rushlet@example.com|" +
                     frame);
    }
};

QTEST_GUILESS_MAIN(FlatpakSandboxTest)
#include "tst_FlatpakSandbox.moc"
