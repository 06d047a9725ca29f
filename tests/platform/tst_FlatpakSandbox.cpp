#include "platform/FlatpakSandbox.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProcess>
#include <QTest>

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
        // Each file as its installation ("user/" or "system/") and path below it, then its content,
        // in the order written.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("granted");
        const QString own = "user/overrides/org.mozilla.firefox";
        const QString policy = "[Session Bus Policy]\norg.freedesktop.Flatpak=";
        QTest::newRow("nothing said") << QStringList() << false;
        QTest::newRow("the user's override") << QStringList{own, policy + "talk"} << true;
        QTest::newRow("owning the name includes talking")
            << QStringList{own, "[Session Bus Policy]\norg.freedesktop.Flatpak = own\n"} << true;
        QTest::newRow("seeing is not talking") << QStringList{own, policy + "see"} << false;
        QTest::newRow("the application's own permissions")
            << QStringList{"system/app/org.mozilla.firefox/current/active/metadata",
                           "[Application]\nname=org.mozilla.firefox\n\n" + policy + "talk"}
            << true;
        QTest::newRow("the user takes back what the system granted")
            << QStringList{"system/overrides/org.mozilla.firefox", policy + "talk", own, policy + "none"}
            << false;
        QTest::newRow("in another group")
            << QStringList{own, "[System Bus Policy]\norg.freedesktop.Flatpak=talk\n"} << false;
    }

    void permissionComesFromEveryLayer()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, granted);
        const QString user = environment.dataHome() + "/flatpak";
        QDir(user).removeRecursively();
        QDir(environment.flatpakSystemDir()).removeRecursively();
        for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
            const QString &file = files.at(i);
            const QString path =
                file.startsWith("user/") ? user + file.mid(4) : environment.flatpakSystemDir() + file.mid(6);
            QVERIFY(TestEnvironment::writeFile(path, files.at(i + 1).toUtf8()));
        }
        QCOMPARE(FlatpakSandbox::mayRunOutside("org.mozilla.firefox"), granted);
    }

    // The wrapper hands the browser's arguments and standard streams to the host unchanged,
    // whatever the host's path holds.
    void wrapperRunsTheHostOutside()
    {
        const QString bin = environment.scratch() + "/bin";
        QVERIFY(TestEnvironment::writeFile(
            bin + "/flatpak-spawn", "#!/bin/sh\n[ \"$1\" = --host ] || exit 9\nshift\nexec \"$@\"\n", true));
        const QString host = environment.scratch() + "/it's a \"$HOME\" folder/RushletNativeHost";
        QVERIFY(TestEnvironment::writeFile(host, "#!/bin/sh\nprintf '%s|' \"$@\"\ncat\n", true));
        const QString wrapper = environment.scratch() + "/wrapper.sh";
        QVERIFY(TestEnvironment::writeFile(wrapper, FlatpakSandbox::hostWrapper(host), true));

        QProcess run;
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        variables.insert("PATH", bin + ":/usr/bin:/bin");
        run.setProcessEnvironment(variables);
        run.start(wrapper, {"/home/u/.mozilla/native-messaging-hosts/com.rushlet.downloader.json",
                            "rushlet@example.com"});
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
