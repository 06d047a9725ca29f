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

    void recognisesTheBrowserByItsVersion_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<bool>("recognised");
        const QString chrome = QStringLiteral("Google Chrome");
        QTest::newRow("Google Chrome") << chrome << versionScript("Google Chrome 120.0.6099.109") << true;
        QTest::newRow("Google Chrome Beta") << QStringLiteral("Google Chrome Beta")
                                            << versionScript("Google Chrome 121.0.6167.16 beta") << true;
        QTest::newRow("Chromium") << QStringLiteral("Chromium")
                                  << versionScript("Chromium 156.0.8078.129 built on Debian GNU/Linux 12")
                                  << true;
        QTest::newRow("Brave") << QStringLiteral("Brave") << versionScript("Brave Browser 120.1.61.109")
                               << true;
        QTest::newRow("Firefox") << QStringLiteral("Firefox") << versionScript("Mozilla Firefox 128.5.0esr")
                                 << true;
        QTest::newRow("another browser under Chrome's name")
            << chrome << versionScript("Mozilla Firefox 128.5.0esr") << false;
        QTest::newRow("Chromium under Chrome's name")
            << chrome << versionScript("Chromium 156.0.8078.129") << false;
        QTest::newRow("product named later in the line")
            << QStringLiteral("Chromium") << versionScript("Brave Browser, not Chromium 1") << false;
        QTest::newRow("fails") << chrome << QByteArray("echo 'Google Chrome 120'; exit 3\n") << false;
        QTest::newRow("says nothing") << chrome << QByteArray("exit 0\n") << false;
    }

    void recognisesTheBrowserByItsVersion()
    {
        QFETCH(QString, browser);
        QFETCH(QByteArray, script);
        QFETCH(bool, recognised);
        const QString path = bin + QStringLiteral("/candidate");
        QVERIFY(installProgram(path, script));
        QCOMPARE(BrowserPrograms::isBrowser(path, known(browser)), recognised);
    }

    void refusesWhatCannotBeRun()
    {
        const QString plain = bin + QStringLiteral("/plain");
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho 'Google Chrome 120'\n");
        file.close();
        const BrowserCatalog::Browser chrome = known(QStringLiteral("Google Chrome"));
        QVERIFY(!BrowserPrograms::isBrowser(plain, chrome));
        QVERIFY(!BrowserPrograms::isBrowser(bin, chrome));
        QVERIFY(!BrowserPrograms::isBrowser(bin + QStringLiteral("/missing"), chrome));
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
        const BrowserPrograms::Located located = BrowserPrograms::locateFirst(BrowserCatalog::known());
        QCOMPARE(located.program, bin + QStringLiteral("/chromium"));
        QCOMPARE(located.browser.name, QStringLiteral("Chromium"));
        QVERIFY2(clock.elapsed() < 20000, "a hanging candidate is given up on");
    }

    // The candidates are the browsers found, in the catalog's order; none found is nothing located.
    void locateTriesTheCandidatesInTheirOrder()
    {
        QCOMPARE(BrowserPrograms::locateFirst(BrowserCatalog::known()).program, QString());
        QVERIFY(installProgram(bin + QStringLiteral("/chromium"), versionScript("Chromium 156.0.8078.129")));
        QVERIFY(
            installProgram(bin + QStringLiteral("/google-chrome"), versionScript("Google Chrome 120.0.1")));
        QVERIFY(
            installProgram(bin + QStringLiteral("/firefox-esr"), versionScript("Mozilla Firefox 128.5.0")));
        QCOMPARE(BrowserPrograms::locateFirst(BrowserCatalog::known()).program,
                 bin + QStringLiteral("/google-chrome"));
        QCOMPARE(
            BrowserPrograms::locateFirst({known(QStringLiteral("Vivaldi")), known(QStringLiteral("Firefox")),
                                          known(QStringLiteral("Chromium"))})
                .program,
            bin + QStringLiteral("/firefox-esr"));
        QCOMPARE(BrowserPrograms::locateFirst({}).program, QString());
    }

    void opensTheExtensionsPage_data()
    {
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<QByteArray>("arguments");
        QTest::newRow("Chromium") << QStringLiteral("Chromium") << QByteArray("chromium")
                                  << QByteArray("Chromium 1") << QByteArray("chrome://extensions/|");
        QTest::newRow("Firefox") << QStringLiteral("Firefox") << QByteArray("firefox")
                                 << QByteArray("Mozilla Firefox 1")
                                 << QByteArray("about:debugging#/runtime/this-firefox|");
        QTest::newRow("Flatpak") << QStringLiteral("Firefox (Flatpak)") << QByteArray("flatpak")
                                 << QByteArray("Flatpak 1.14.10")
                                 << QByteArray(
                                        "run|org.mozilla.firefox|about:debugging#/runtime/this-firefox|");
    }

    void opensTheExtensionsPage()
    {
        QFETCH(QString, browser);
        QFETCH(QByteArray, program);
        QFETCH(QByteArray, version);
        QFETCH(QByteArray, arguments);
        const QByteArray record = QFile::encodeName(environment.scratch() + QStringLiteral("/arguments"));
        QFile::remove(QFile::decodeName(record));
        // Answers the checks (--version, flatpak info) as the browser would, and records the rest.
        QVERIFY(installProgram(bin + u'/' + QString::fromUtf8(program),
                               "case \"$1\" in --version) echo '" + version +
                                   "'; exit 0;; "
                                   "info) [ \"$2\" = org.mozilla.firefox ]; exit;; esac\n"
                                   "printf '%s|' \"$@\" > " +
                                   record + ".part && /bin/mv " + record + ".part " + record + "\n"));
        const BrowserPrograms::Located located = BrowserPrograms::locateFirst({known(browser)});
        QVERIFY(BrowserPrograms::openExtensionsPage(located));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QFile::decodeName(record)), 20000);
        QCOMPARE(TestEnvironment::readFile(QFile::decodeName(record)), arguments);

        QVERIFY(!BrowserPrograms::openExtensionsPage({known(browser), bin + QStringLiteral("/missing")}));
        QVERIFY(!BrowserPrograms::openExtensionsPage({}));
    }
};

QTEST_GUILESS_MAIN(BrowserProgramsTest)
#include "tst_BrowserPrograms.moc"
