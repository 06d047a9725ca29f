#include "bridge/setup/BrowserSetup.h"
#include "i18n/Localization.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString registered = QStringLiteral("Connection registered. Complete steps 2 and 3 in Chrome.");
const QString chromeMissing = QStringLiteral("Google Chrome could not be found or opened. Open Google Chrome "
                                             "manually and enter chrome://extensions in the address bar.");

QPushButton *button(const QDialog &dialog, const QString &text)
{
    const auto buttons = dialog.findChildren<QPushButton *>();
    for (QPushButton *candidate : buttons) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    return palette;
}

} // namespace

class ChromeExtensionSetupTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString applicationFolder;
    QString bin;
    QString browserRecord;
    QByteArray originalPath;

    QString manifest() const
    {
        return environment.dataFolder() + QStringLiteral("/com.rushlet.downloader.json");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();

        // A packaged folder: stand-ins for both programs and the real extension.
        applicationFolder = environment.scratch() + QStringLiteral("/application");
        QVERIFY(
            TestEnvironment::writeFile(applicationFolder + QStringLiteral("/Rushlet"), "#!/bin/sh\n", true));
        QVERIFY(TestEnvironment::writeFile(applicationFolder + QStringLiteral("/RushletNativeHost"),
                                           "#!/bin/sh\n", true));
        const QByteArray extension = TestEnvironment::readFile(
            qEnvironmentVariable("RUSHLET_SOURCE_DIR") + QStringLiteral("/chrome-extension/manifest.json"));
        QVERIFY(!extension.isEmpty());
        QVERIFY(TestEnvironment::writeFile(
            applicationFolder + QStringLiteral("/chrome-extension/manifest.json"), extension));

        // Chrome for these tests records what it is asked to open instead of opening it.
        bin = environment.scratch() + QStringLiteral("/bin");
        browserRecord = environment.scratch() + QStringLiteral("/opened");
        QVERIFY(TestEnvironment::writeFile(
            bin + QStringLiteral("/google-chrome"),
            "#!/bin/sh\nif [ \"$1\" = --version ]; then echo 'Google Chrome 120.0.1'; exit 0; fi\n"
            "echo \"$@\" > " +
                QFile::encodeName(browserRecord) + "\n",
            true));
        originalPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
    }

    void cleanupTestCase() { qputenv("PATH", originalPath); }

    void init()
    {
        QFile::remove(manifest());
        QFile::remove(browserRecord);
    }

    void startsReadyToRegister()
    {
        ChromeExtensionSetup dialog(nullptr, applicationFolder);
        QCOMPARE(dialog.objectName(), QStringLiteral("chromeExtensionSetup"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Chrome extension"));
        QCOMPARE(dialog.width(), 540);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"));
        QVERIFY(status);
        QCOMPARE(
            status->text(),
            QStringLiteral("Registers the connection for your account. No administrator access needed."));
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("setupChrome"))->text(),
                 QStringLiteral("Set up Chrome extension"));
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("openChromeExtensions")));

        auto *folder = dialog.findChild<QLineEdit *>();
        QCOMPARE(folder->text(),
                 QDir::toNativeSeparators(applicationFolder + QStringLiteral("/chrome-extension")));
        QVERIFY(folder->isReadOnly());
        QCOMPARE(folder->cursorPosition(), 0);

        button(dialog, QStringLiteral("Done"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void registersAndOpensChrome()
    {
        ChromeExtensionSetup dialog(nullptr, applicationFolder);
        auto *setup = dialog.findChild<QPushButton *>(QStringLiteral("setupChrome"));
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"));

        setup->click();
        QCOMPARE(status->text(), registered);
        QCOMPARE(setup->text(), QStringLiteral("Repair connection"));
        QVERIFY(QFile::exists(manifest()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(browserRecord).size() > 0, 20000);
        QFile opened(browserRecord);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll().trimmed(), QByteArray("chrome://extensions/"));

        // Without a browser, the user learns how to open the page by hand; the registration stands.
        QFile::remove(manifest());
        qputenv("PATH", "");
        setup->click();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), chromeMissing, 20000);
        qputenv("PATH", QFile::encodeName(bin));
        QCOMPARE(setup->text(), QStringLiteral("Repair connection"));
        QVERIFY(QFile::exists(manifest()));
    }

    // The program keeps answering the bridge while a browser candidate is asked for its version
    // and takes its time about it.
    void looksForTheBrowserWithoutBlocking()
    {
        const QString slowBin = environment.scratch() + QStringLiteral("/slow-bin");
        QVERIFY(TestEnvironment::writeFile(slowBin + QStringLiteral("/google-chrome-stable"),
                                           "#!/bin/sh\nexec /bin/sleep 60\n", true));
        qputenv("PATH", QFile::encodeName(slowBin));
        ChromeExtensionSetup dialog(nullptr, applicationFolder);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"));
        const QString before = status->text();
        dialog.findChild<QPushButton *>(QStringLiteral("openChromeExtensions"))->click();
        QCOMPARE(status->text(), before);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), chromeMissing, 20000);
        qputenv("PATH", QFile::encodeName(bin));
    }

    void reportsAMissingPackage()
    {
        const QString bare = environment.scratch() + QStringLiteral("/bare");
        QVERIFY(QDir().mkpath(bare));
        ChromeExtensionSetup dialog(nullptr, bare);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"));

        dialog.findChild<QPushButton *>(QStringLiteral("setupChrome"))->click();
        QCOMPARE(status->text(),
                 QStringLiteral("Setup files are missing. Run Rushlet from the packaged application "
                                "folder, which includes RushletNativeHost and chrome-extension."));
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("setupChrome"))->text(),
                 QStringLiteral("Set up Chrome extension"));
        QVERIFY(!QFile::exists(manifest()));
        QVERIFY(!QFile::exists(browserRecord));

        button(dialog, QStringLiteral("Open folder"))->click();
        QCOMPARE(status->text(),
                 QStringLiteral("Extension folder is missing. Use the packaged Rushlet application."));
    }

    void copiesTheFolderPath()
    {
        ChromeExtensionSetup dialog(nullptr, applicationFolder);
        button(dialog, QStringLiteral("Copy folder path"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QDir::toNativeSeparators(applicationFolder + QStringLiteral("/chrome-extension")));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"))->text(),
                 QStringLiteral("Folder path copied. Paste it into Chrome's folder picker."));
    }

    void speaksTheChosenLanguageExceptForFailures()
    {
        const QString missing =
            QStringLiteral("Setup files are missing. Run Rushlet from the packaged application "
                           "folder, which includes RushletNativeHost and chrome-extension.");
        Localization::setLanguage(QStringLiteral("de"));
        ChromeExtensionSetup dialog(nullptr, environment.scratch() + QStringLiteral("/bare"));
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("chromeSetupStatus"));
        auto *setup = dialog.findChild<QPushButton *>(QStringLiteral("setupChrome"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Chrome-Erweiterung"));
        QCOMPARE(setup->text(), QStringLiteral("Chrome-Erweiterung einrichten"));
        QPushButton *copy = button(dialog, QStringLiteral("Ordnerpfad kopieren"));
        QVERIFY(copy);

        setup->click();
        QCOMPARE(status->text(), missing);
        // A language switch must not bring back the status the dialog started with.
        Localization::setLanguage(QStringLiteral("fr"));
        QCOMPARE(status->text(), missing);

        copy->click();
        QCOMPARE(
            status->text(),
            QStringLiteral("Chemin du dossier copié. Collez-le dans le sélecteur de dossier de Chrome."));
        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(status->text(),
                 QStringLiteral("Ordnerpfad kopiert. Fügen Sie ihn in die Ordnerauswahl von Chrome ein."));
        // Longer texts wrap onto more lines; the dialog grows instead of cutting them off.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto labels = dialog.findChildren<QLabel *>();
        for (const QLabel *label : labels)
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        Localization::setLanguage(QStringLiteral("system"));
        QCOMPARE(setup->text(), QStringLiteral("Set up Chrome extension"));
    }

    void followsTheLightOrDarkPalette_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("folderField");
        QTest::newRow("light") << false << QColor(0xff, 0xff, 0xff) << QColor(0xf3, 0xf6, 0xfa);
        QTest::newRow("dark") << true << QColor(0x25, 0x2b, 0x33) << QColor(0x30, 0x38, 0x44);
    }

    void followsTheLightOrDarkPalette()
    {
        QFETCH(bool, dark);
        QFETCH(QColor, background);
        QFETCH(QColor, folderField);
        const QPalette original = QApplication::palette();
        if (dark)
            QApplication::setPalette(darkPalette());
        ChromeExtensionSetup dialog(nullptr, applicationFolder);
        QApplication::setPalette(original);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QImage image = dialog.grab().toImage();

        QCOMPARE(image.pixelColor(3, 3), background);
        auto *field = dialog.findChild<QLineEdit *>();
        const QPoint inside = field->mapTo(&dialog, QPoint(field->width() - 6, field->height() / 2));
        QCOMPARE(image.pixelColor(inside * image.devicePixelRatio()), folderField);

        // A look at it by eye: RUSHLET_SCREENSHOTS=<folder>.
        const QString screenshots = qEnvironmentVariable("RUSHLET_SCREENSHOTS");
        if (!screenshots.isEmpty())
            image.save(screenshots +
                       QStringLiteral("/chrome-extension-setup-%1.png").arg(QTest::currentDataTag()));
    }
};

QTEST_MAIN(ChromeExtensionSetupTest)
#include "tst_BrowserSetup.moc"
