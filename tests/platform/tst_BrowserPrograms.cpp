#include "platform/BrowserPrograms.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

QByteArray versionScript(const QByteArray &version)
{
    return "if [ \"$1\" = --version ]; then echo '" + version + "'; exit 0; fi\n";
}

BrowserCatalog::Browser known(const QString &name)
{
    const QList<BrowserCatalog::Browser> browsers = BrowserCatalog::known();
    for (const BrowserCatalog::Browser &browser : browsers) {
        if (browser.name == name)
            return browser;
    }
    qFatal("no browser named %s", qPrintable(name));
}

} // namespace

class BrowserProgramsTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    // Stand-ins for browsers are shell scripts in a folder of their own on PATH.
    QString bin;
    QByteArray originalPath;

    bool install(const QString &name, const QByteArray &script)
    {
        return TestEnvironment::writeFile(bin + u'/' + name, "#!/bin/sh\n" + script, true);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        bin = environment.scratch() + "/bin";
        originalPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
    }

    void cleanupTestCase() { qputenv("PATH", originalPath); }

    void init()
    {
        QDir(bin).removeRecursively();
        QVERIFY(QDir().mkpath(bin));
    }

    void recognisesTheBrowserByItsVersion_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("recognised");
        const auto answering = [](const char *name, const char *browser, const char *line, bool recognised) {
            QTest::newRow(name) << QString(browser) << versionScript(line) << recognised;
        };
        const char *chrome = "Google Chrome";
        answering("Google Chrome", chrome, "Google Chrome 120.0.6099.109", true);
        answering("Google Chrome Beta", "Google Chrome Beta", "Google Chrome 121.0.6167.16 beta", true);
        answering("Chromium", "Chromium", "Chromium 156.0.8078.129 built on Debian GNU/Linux 12", true);
        answering("Brave", "Brave", "Brave Browser 120.1.61.109", true);
        answering("Firefox", "Firefox", "Mozilla Firefox 128.5.0esr", true);
        answering("another browser under Chrome's name", chrome, "Mozilla Firefox 128.5.0esr", false);
        answering("Chromium under Chrome's name", chrome, "Chromium 156.0.8078.129", false);
        answering("product named later in the line", "Chromium", "Brave Browser, not Chromium 1", false);
        QTest::newRow("fails") << QString(chrome) << QByteArray("echo 'Google Chrome 120'; exit 3\n")
                               << false;
        QTest::newRow("says nothing") << QString(chrome) << QByteArray("exit 0\n") << false;
    }

    void recognisesTheBrowserByItsVersion()
    {
        QFETCH(QString, browser);
        QFETCH(QByteArray, script);
        QFETCH(bool, recognised);
        QVERIFY(install("candidate", script));
        QCOMPARE(BrowserPrograms::isBrowser(bin + "/candidate", known(browser)), recognised);
    }

    void refusesWhatCannotBeRun()
    {
        const QString plain = bin + "/plain";
        QVERIFY(TestEnvironment::writeFile(plain, "#!/bin/sh\necho 'Google Chrome 120'\n"));
        const BrowserCatalog::Browser chrome = known("Google Chrome");
        QVERIFY(!BrowserPrograms::isBrowser(plain, chrome));
        QVERIFY(!BrowserPrograms::isBrowser(bin, chrome));
        QVERIFY(!BrowserPrograms::isBrowser(bin + "/missing", chrome));
    }

    // The candidates are tried in their order, each by its programs in theirs, past impostors and
    // programs that hang; none found is nothing located.
    void locatesTheFirstBrowserFound()
    {
        const QList<BrowserCatalog::Browser> catalog = BrowserCatalog::known();
        QCOMPARE(BrowserPrograms::locateFirst(catalog).program, QString());
        QVERIFY(install("google-chrome-stable", versionScript("Mozilla Firefox 128.5.0")));
        QVERIFY(install("google-chrome", "exec /bin/sleep 60\n"));
        QVERIFY(install("chromium", versionScript("Chromium 156.0.8078.129")));
        QVERIFY(install("chromium-browser", versionScript("Chromium 99.0.1")));
        QVERIFY(install("firefox-esr", versionScript("Mozilla Firefox 128.5.0")));
        QElapsedTimer clock;
        clock.start();
        const BrowserPrograms::Located located = BrowserPrograms::locateFirst(catalog);
        QCOMPARE(located.program, bin + "/chromium");
        QCOMPARE(located.browser.name, "Chromium");
        QVERIFY2(clock.elapsed() < 20000, "a hanging candidate is given up on");

        QCOMPARE(
            BrowserPrograms::locateFirst({known("Vivaldi"), known("Firefox"), known("Chromium")}).program,
            bin + "/firefox-esr");
        QVERIFY(install("google-chrome", versionScript("Google Chrome 120.0.1")));
        QCOMPARE(BrowserPrograms::locateFirst(catalog).program, bin + "/google-chrome");
        QCOMPARE(BrowserPrograms::locateFirst({}).program, QString());
    }

    void opensTheExtensionsPage_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("arguments");
        const auto row = [](const char *browser, const char *program, const char *version,
                            const char *arguments) {
            QTest::newRow(browser) << QString(browser) << QString(program) << QByteArray(version)
                                   << QByteArray(arguments);
        };
        row("Chromium", "chromium", "Chromium 1", "chrome://extensions/|");
        row("Firefox", "firefox", "Mozilla Firefox 1", "about:debugging#/runtime/this-firefox|");
        row("Firefox (Flatpak)", "flatpak", "Flatpak 1.14.10",
            "run|org.mozilla.firefox|about:debugging#/runtime/this-firefox|");
    }

    void opensTheExtensionsPage()
    {
        QFETCH(QString, browser);
        QFETCH(QString, program);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, arguments);
        const QString record = environment.scratch() + "/arguments";
        QFile::remove(record);
        // Answers the checks (--version, flatpak info) as the browser would, and records the rest.
        const QByteArray path = QFile::encodeName(record);
        QVERIFY(install(program, "case \"$1\" in --version) echo '" + version +
                                     "'; exit 0;; info) [ \"$2\" = org.mozilla.firefox ]; exit;; esac\n"
                                     "printf '%s|' \"$@\" > " +
                                     path + ".part && /bin/mv " + path + ".part " + path + "\n"));
        QVERIFY(BrowserPrograms::openExtensionsPage(BrowserPrograms::locateFirst({known(browser)})));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 20000);
        QCOMPARE(TestEnvironment::readFile(record), arguments);

        QVERIFY(!BrowserPrograms::openExtensionsPage({known(browser), bin + "/missing"}));
        QVERIFY(!BrowserPrograms::openExtensionsPage({}));
    }
};

QTEST_GUILESS_MAIN(BrowserProgramsTest)
#include "tst_BrowserPrograms.moc"
