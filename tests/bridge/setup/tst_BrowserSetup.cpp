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

const QString sandboxed = QStringLiteral("Connection registered. Grant the Flatpak permission shown below, "
                                         "then complete steps 2 and 3.");
const QString browserMissing = QStringLiteral(
    "Your browser could not be found or opened. Open it manually and enter chrome://extensions "
    "in the address bar, or about:debugging in Firefox.");
const QString missingFiles =
    QStringLiteral("Setup files are missing. Run Rushlet from the packaged application "
                   "folder, which includes RushletNativeHost and chrome-extension.");
const QString permissionCommand =
    QStringLiteral("flatpak override --user --talk-name=org.freedesktop.Flatpak org.mozilla.firefox");

QPushButton *button(const QDialog &dialog, const QString &text)
{
    const auto buttons = dialog.findChildren<QPushButton *>();
    for (QPushButton *candidate : buttons) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// The browsers as the dialog lists them: name and state, one entry a row.
QStringList listed(const QDialog &dialog)
{
    QStringList rows;
    const auto states = dialog.findChild<QWidget *>(QStringLiteral("browserList"))
                            ->findChildren<QLabel *>(QStringLiteral("browserState"));
    for (const QLabel *state : states) {
        const auto labels = state->parentWidget()->findChildren<QLabel *>();
        rows << labels.at(labels.indexOf(state) - 1)->text() + QStringLiteral(": ") + state->text();
    }
    return rows;
}

QStringList fields(const QDialog &dialog)
{
    QStringList texts;
    const auto edits = dialog.findChildren<QLineEdit *>();
    for (const QLineEdit *edit : edits)
        texts << edit->text();
    return texts;
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

class BrowserSetupTest : public QObject
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
    QString folder(const QString &name) const { return QDir::toNativeSeparators(applicationFolder + name); }

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
        // The user has run Chromium and the Flatpak Firefox.
        QVERIFY(QDir().mkpath(environment.configHome() + QStringLiteral("/chromium")));
        QVERIFY(QDir().mkpath(environment.home() + QStringLiteral("/.var/app/org.mozilla.firefox")));

        // Chromium for these tests records what it is asked to open instead of opening it.
        bin = environment.scratch() + QStringLiteral("/bin");
        browserRecord = environment.scratch() + QStringLiteral("/opened");
        QVERIFY(TestEnvironment::writeFile(
            bin + QStringLiteral("/chromium"),
            "#!/bin/sh\nif [ \"$1\" = --version ]; then echo 'Chromium 156.0.1'; exit 0; fi\n"
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
        BrowserSetup dialog(nullptr, applicationFolder);
        QCOMPARE(dialog.objectName(), QStringLiteral("browserSetup"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Browser setup"));
        QCOMPARE(dialog.width(), 540);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"));
        QCOMPARE(status->text(), QStringLiteral("Registers the connection for every browser you use. No "
                                                "administrator access needed."));
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"))->text(),
                 QStringLiteral("Set up browsers"));
        QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("openBrowserExtensions")));

        QCOMPARE(listed(dialog), QStringList({QStringLiteral("Chromium: Not registered yet"),
                                              QStringLiteral("Firefox (Flatpak): Not registered yet")}));
        // One folder for each kind of extension, each named for the browsers that load it.
        QCOMPARE(fields(dialog),
                 QStringList({folder(QStringLiteral("/chrome-extension")),
                              QDir::toNativeSeparators(environment.scratch() +
                                                       QStringLiteral("/share/rushlet/firefox-extension"))}));
        const auto captions =
            dialog.findChild<QWidget *>(QStringLiteral("extensionFolders"))->findChildren<QLabel *>();
        QCOMPARE(captions.size(), 2);
        QCOMPARE(captions.at(0)->text(), QStringLiteral("For Chromium:"));
        QCOMPARE(captions.at(1)->text(), QStringLiteral("For Firefox (Flatpak):"));
        const auto edits = dialog.findChildren<QLineEdit *>();
        for (const QLineEdit *edit : edits) {
            QVERIFY(edit->isReadOnly());
            QCOMPARE(edit->cursorPosition(), 0);
        }

        button(dialog, QStringLiteral("Done"))->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void registersAndOpensTheBrowser()
    {
        BrowserSetup dialog(nullptr, applicationFolder);
        auto *setup = dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"));
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"));

        setup->click();
        QCOMPARE(status->text(), sandboxed);
        QCOMPARE(setup->text(), QStringLiteral("Repair connection"));
        QVERIFY(QFile::exists(manifest()));
        QCOMPARE(listed(dialog),
                 QStringList({QStringLiteral("Chromium: Registered"),
                              QStringLiteral("Firefox (Flatpak): Needs the Flatpak permission")}));
        QVERIFY(fields(dialog).contains(permissionCommand));
        button(dialog, QStringLiteral("Copy command"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), permissionCommand);
        QCOMPARE(status->text(), QStringLiteral("Command copied. Paste it into a terminal."));
        // The first browser found opens its extensions page.
        QTRY_VERIFY_WITH_TIMEOUT(QFile(browserRecord).size() > 0, 20000);
        QCOMPARE(TestEnvironment::readFile(browserRecord).trimmed(), QByteArray("chrome://extensions/"));

        // Without a browser to start, the user learns how to open the page by hand; the
        // registration stands.
        QFile::remove(manifest());
        qputenv("PATH", "");
        setup->click();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), browserMissing, 20000);
        qputenv("PATH", QFile::encodeName(bin));
        QCOMPARE(setup->text(), QStringLiteral("Repair connection"));
        QVERIFY(QFile::exists(manifest()));
    }

    // The program keeps answering the bridge while a browser candidate is asked for its version
    // and takes its time about it.
    void looksForTheBrowserWithoutBlocking()
    {
        const QString slowBin = environment.scratch() + QStringLiteral("/slow-bin");
        QVERIFY(TestEnvironment::writeFile(slowBin + QStringLiteral("/chromium"),
                                           "#!/bin/sh\nexec /bin/sleep 60\n", true));
        qputenv("PATH", QFile::encodeName(slowBin));
        BrowserSetup dialog(nullptr, applicationFolder);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"));
        const QString before = status->text();
        dialog.findChild<QPushButton *>(QStringLiteral("openBrowserExtensions"))->click();
        QCOMPARE(status->text(), before);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), browserMissing, 20000);
        qputenv("PATH", QFile::encodeName(bin));
    }

    void reportsAMissingPackage()
    {
        const QString bare = environment.scratch() + QStringLiteral("/bare");
        QVERIFY(QDir().mkpath(bare));
        BrowserSetup dialog(nullptr, bare);
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"));

        dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"))->click();
        QCOMPARE(status->text(), missingFiles);
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"))->text(),
                 QStringLiteral("Set up browsers"));
        QVERIFY(!QFile::exists(manifest()));
        QVERIFY(!QFile::exists(browserRecord));

        button(dialog, QStringLiteral("Open folder"))->click();
        QCOMPARE(status->text(),
                 QStringLiteral("Extension folder is missing. Use the packaged Rushlet application."));
    }

    void copiesTheFolderPath()
    {
        BrowserSetup dialog(nullptr, applicationFolder);
        button(dialog, QStringLiteral("Copy folder path"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), folder(QStringLiteral("/chrome-extension")));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"))->text(),
                 QStringLiteral("Folder path copied. Paste it into your browser's folder picker."));
    }

    // Without a browser that ran, the dialog says so and still offers the Chrome extension's folder.
    void tellsWhenNoBrowserRan()
    {
        TestEnvironment empty;
        empty.applyToCurrentProcess();
        BrowserSetup dialog(nullptr, applicationFolder);
        const QString none = QStringLiteral("No browser has run for your account yet. Start your browser "
                                            "once, then set up the connection again.");
        QCOMPARE(dialog.findChild<QWidget *>(QStringLiteral("browserList"))->findChild<QLabel *>()->text(),
                 none);
        QCOMPARE(fields(dialog), QStringList{folder(QStringLiteral("/chrome-extension"))});
        QVERIFY(dialog.findChild<QWidget *>(QStringLiteral("extensionFolders"))
                    ->findChildren<QLabel *>()
                    .isEmpty());
        dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"))->click();
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"))->text(), none);
        environment.applyToCurrentProcess();
    }

    void speaksTheChosenLanguageExceptForFailures()
    {
        // Registered from the packaged folder, the browsers need repair as a bare folder sees them.
        QCOMPARE(BrowserRegistration::registerBrowsers(applicationFolder, environment.dataFolder()).error,
                 QString());
        Localization::setLanguage(QStringLiteral("de"));
        BrowserSetup dialog(nullptr, environment.scratch() + QStringLiteral("/bare"));
        auto *status = dialog.findChild<QLabel *>(QStringLiteral("browserSetupStatus"));
        auto *setup = dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Browser-Einrichtung"));
        QCOMPARE(setup->text(), QStringLiteral("Browser einrichten"));
        QCOMPARE(listed(dialog), QStringList({QStringLiteral("Chromium: Reparatur nötig"),
                                              QStringLiteral("Firefox (Flatpak): Reparatur nötig")}));
        QVERIFY(button(dialog, QStringLiteral("Ordnerpfad kopieren")));

        setup->click();
        QCOMPARE(status->text(), missingFiles);
        // A language switch must not bring back the status the dialog started with.
        Localization::setLanguage(QStringLiteral("fr"));
        QCOMPARE(status->text(), missingFiles);
        QCOMPARE(listed(dialog).first(), QStringLiteral("Chromium: À réparer"));
        QCOMPARE(
            dialog.findChild<QWidget *>(QStringLiteral("extensionFolders"))->findChild<QLabel *>()->text(),
            QStringLiteral("Pour Chromium :"));

        button(dialog, QStringLiteral("Copier le chemin du dossier"))->click();
        QCOMPARE(status->text(),
                 QStringLiteral("Chemin du dossier copié. Collez-le dans le sélecteur de dossier "
                                "de votre navigateur."));
        Localization::setLanguage(QStringLiteral("de"));
        QCOMPARE(
            status->text(),
            QStringLiteral("Ordnerpfad kopiert. Fügen Sie ihn in die Ordnerauswahl Ihres Browsers ein."));
        // Longer texts wrap onto more lines; the dialog grows instead of cutting them off.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto labels = dialog.findChildren<QLabel *>();
        for (const QLabel *label : labels)
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        Localization::setLanguage(QStringLiteral("system"));
        QCOMPARE(setup->text(), QStringLiteral("Set up browsers"));
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
        BrowserSetup dialog(nullptr, applicationFolder);
        QApplication::setPalette(original);
        dialog.findChild<QPushButton *>(QStringLiteral("setupBrowsers"))->click();
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
            image.save(screenshots + QStringLiteral("/browser-setup-%1.png").arg(QTest::currentDataTag()));
    }
};

QTEST_MAIN(BrowserSetupTest)
#include "tst_BrowserSetup.moc"
