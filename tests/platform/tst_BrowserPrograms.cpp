#include "platform/BrowserPrograms.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

// Stand-ins for browsers are shell scripts in a folder of their own on PATH.
bool installProgram(const QString &path, const QByteArray &script)
{
    return TestEnvironment::writeFile(path, "#!/bin/sh\n" + script, true);
}

QByteArray versionScript(const QByteArray &version)
{
    return "if [ \"$1\" = --version ]; then echo '" + version + "'; exit 0; fi\n";
}

} // namespace

class ChromeBrowserTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString bin;
    QByteArray originalPath;

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        bin = environment.scratch() + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        originalPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
    }

    void cleanupTestCase() { qputenv("PATH", originalPath); }

    void init()
    {
        QDir(bin).removeRecursively();
        QVERIFY(QDir().mkpath(bin));
    }

    void recognisesChromeByItsVersion_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("chrome");
        QTest::newRow("Google Chrome") << versionScript("Google Chrome 120.0.6099.109") << true;
        QTest::newRow("Chromium") << versionScript("Chromium 156.0.8078.129 built on Debian GNU/Linux 12")
                                  << true;
        QTest::newRow("another browser") << versionScript("Mozilla Firefox 128.5.0esr") << false;
        QTest::newRow("product named later in the line")
            << versionScript("Brave Browser, not Chromium 1") << false;
        QTest::newRow("fails") << QByteArray("echo 'Google Chrome 120'; exit 3\n") << false;
        QTest::newRow("says nothing") << QByteArray("exit 0\n") << false;
    }

    void recognisesChromeByItsVersion()
    {
        QFETCH(QByteArray, script);
        QFETCH(bool, chrome);
        const QString path = bin + QStringLiteral("/candidate");
        QVERIFY(installProgram(path, script));
        QCOMPARE(ChromeBrowser::isChrome(path), chrome);
    }

    void refusesWhatCannotBeRun()
    {
        const QString plain = bin + QStringLiteral("/plain");
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho 'Google Chrome 120'\n");
        file.close();
        QVERIFY(!ChromeBrowser::isChrome(plain));
        QVERIFY(!ChromeBrowser::isChrome(bin));
        QVERIFY(!ChromeBrowser::isChrome(bin + QStringLiteral("/missing")));
    }

    void locateSkipsImpostorsAndHangingPrograms()
    {
        QVERIFY(installProgram(bin + QStringLiteral("/google-chrome-stable"),
                               versionScript("Mozilla Firefox 128.5.0")));
        QVERIFY(installProgram(bin + QStringLiteral("/google-chrome"), "exec /bin/sleep 60\n"));
        QVERIFY(installProgram(bin + QStringLiteral("/chromium"), versionScript("Chromium 156.0.8078.129")));
        QVERIFY(installProgram(bin + QStringLiteral("/chromium-browser"), versionScript("Chromium 99.0.1")));

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(ChromeBrowser::locate(), bin + QStringLiteral("/chromium"));
        QVERIFY2(clock.elapsed() < 20000, "a hanging candidate is given up on");
    }

    void locatePrefersGoogleChromeAndFindsNothingWithoutIt()
    {
        QCOMPARE(ChromeBrowser::locate(), QString());
        QVERIFY(installProgram(bin + QStringLiteral("/chromium"), versionScript("Chromium 156.0.8078.129")));
        QVERIFY(
            installProgram(bin + QStringLiteral("/google-chrome"), versionScript("Google Chrome 120.0.1")));
        QCOMPARE(ChromeBrowser::locate(), bin + QStringLiteral("/google-chrome"));
    }

    void opensTheExtensionsPage()
    {
        const QString record = environment.scratch() + QStringLiteral("/arguments");
        const QString browser = bin + QStringLiteral("/google-chrome");
        QVERIFY(installProgram(browser, "printf '%s|' \"$@\" > " + QFile::encodeName(record) +
                                            ".part && /bin/mv " + QFile::encodeName(record) + ".part " +
                                            QFile::encodeName(record) + "\n"));
        QVERIFY(ChromeBrowser::openExtensionsPage(browser));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 20000);
        QFile arguments(record);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(arguments.readAll(), QByteArray("chrome://extensions/|"));

        QVERIFY(!ChromeBrowser::openExtensionsPage(bin + QStringLiteral("/missing")));
    }
};

QTEST_GUILESS_MAIN(ChromeBrowserTest)
#include "tst_BrowserPrograms.moc"
