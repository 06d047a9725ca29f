#include "bridge/setup/BrowserSetup.h"
#include "i18n/Localization.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString browserMissing = QStringLiteral(
    "Your browser could not be found or opened. Open it manually and enter chrome://extensions "
    "in the address bar, or about:debugging in Firefox.");
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

// The texts of the labels or fields named `name` in the dialog or in its part `part`, in their order.
template <typename Widget>
QStringList texts(const QDialog &dialog, const QString &part = {}, const QString &name = {})
{
    const QObject *parent = part.isEmpty() ? &dialog : dialog.findChild<QWidget *>(part);
    QStringList found;
    const auto widgets = parent->findChildren<Widget *>(name);
    for (const Widget *widget : widgets)
        found << widget->text();
    return found;
}

QString statusOf(const QDialog &dialog)
{
    return dialog.findChild<QLabel *>("browserSetupStatus")->text();
}

} // namespace

class BrowserSetupTest : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString applicationFolder;
    QString manifest;
    // Chromium for these tests records what it is asked to open instead of opening it; the slow one
    // never answers.
    QString bin;
    QString slowBin;
    QString browserRecord;
    QByteArray originalPath;

    QString chromeFolder() const { return QDir::toNativeSeparators(applicationFolder + "/chrome-extension"); }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        manifest = environment.dataFolder() + "/com.rushlet.downloader.json";

        // A packaged folder: stand-ins for both programs and the real extension.
        applicationFolder = environment.scratch() + "/application";
        for (const QString program : {"/Rushlet", "/RushletNativeHost"})
            QVERIFY(TestEnvironment::writeFile(applicationFolder + program, "#!/bin/sh\n", true));
        const QByteArray extension = TestEnvironment::readFile(qEnvironmentVariable("RUSHLET_SOURCE_DIR") +
                                                               "/chrome-extension/manifest.json");
        QVERIFY(!extension.isEmpty());
        QVERIFY(TestEnvironment::writeFile(applicationFolder + "/chrome-extension/manifest.json", extension));
        // The user has run Chromium and the Flatpak Firefox.
        QVERIFY(QDir().mkpath(environment.configHome() + "/chromium"));
        QVERIFY(QDir().mkpath(environment.home() + "/.var/app/org.mozilla.firefox"));

        bin = environment.scratch() + "/bin";
        slowBin = environment.scratch() + "/slow-bin";
        browserRecord = environment.scratch() + "/opened";
        QVERIFY(TestEnvironment::writeFile(
            bin + "/chromium",
            "#!/bin/sh\nif [ \"$1\" = --version ]; then echo 'Chromium 156.0.1'; exit 0; fi\n"
            "echo \"$@\" > " +
                QFile::encodeName(browserRecord) + "\n",
            true));
        QVERIFY(TestEnvironment::writeFile(slowBin + "/chromium", "#!/bin/sh\nexec /bin/sleep 60\n", true));
        originalPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin));
    }

    void cleanupTestCase() { qputenv("PATH", originalPath); }

    // The dialog lists the browsers found and one extension folder for each kind, each named for the
    // browsers that load it; it registers them all, tells the Flatpak user what to grant, and opens
    // the first browser's extensions page without waiting for a browser that takes its time.
    void registersAndOpensTheBrowser()
    {
        qputenv("PATH", QFile::encodeName(slowBin));
        BrowserSetup dialog(nullptr, applicationFolder);
        QCOMPARE(texts<QLabel>(dialog, "browserList"),
                 QStringList({"Chromium", "Not registered yet", "Firefox (Flatpak)", "Not registered yet"}));
        QCOMPARE(texts<QLabel>(dialog, "extensionFolders"),
                 QStringList({"For Chromium:", "For Firefox (Flatpak):"}));
        QCOMPARE(texts<QLineEdit>(dialog),
                 QStringList({chromeFolder(), QDir::toNativeSeparators(environment.scratch() +
                                                                       "/share/rushlet/firefox-extension")}));
        const auto fields = dialog.findChildren<QLineEdit *>();
        for (const QLineEdit *field : fields)
            QVERIFY(field->isReadOnly() && field->cursorPosition() == 0);

        auto *setup = dialog.findChild<QPushButton *>("setupBrowsers");
        setup->click();
        QCOMPARE(statusOf(dialog), "Connection registered. Grant the Flatpak permission shown below, then "
                                   "complete steps 2 and 3.");
        QCOMPARE(setup->text(), "Repair connection");
        QVERIFY(QFile::exists(manifest));
        QCOMPARE(texts<QLabel>(dialog, "browserList", "browserState"),
                 QStringList({"Registered", "Needs the Flatpak permission"}));
        QCOMPARE(texts<QLineEdit>(dialog, "browserList"), QStringList{permissionCommand});
        // Without a browser to start, the user learns how to open the page by hand.
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(dialog), browserMissing, 20000);

        button(dialog, "Copy command")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), permissionCommand);
        QCOMPARE(statusOf(dialog), "Command copied. Paste it into a terminal.");
        button(dialog, "Copy folder path")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), chromeFolder());
        QCOMPARE(statusOf(dialog), "Folder path copied. Paste it into your browser's folder picker.");

        qputenv("PATH", QFile::encodeName(bin));
        dialog.findChild<QPushButton *>("openBrowserExtensions")->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile(browserRecord).size() > 0, 20000);
        QCOMPARE(TestEnvironment::readFile(browserRecord).trimmed(), "chrome://extensions/");
        button(dialog, "Done")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // Without a browser that ran, the dialog says so and still offers the Chrome extension's folder.
    void tellsWhenNoBrowserRan()
    {
        TestEnvironment empty;
        empty.applyToCurrentProcess();
        BrowserSetup dialog(nullptr, applicationFolder);
        const QString none = "No browser has run for your account yet. Start your browser once, then set up "
                             "the connection again.";
        QCOMPARE(texts<QLabel>(dialog, "browserList"), QStringList{none});
        QCOMPARE(texts<QLabel>(dialog, "extensionFolders"), QStringList());
        QCOMPARE(texts<QLineEdit>(dialog), QStringList{chromeFolder()});
        dialog.findChild<QPushButton *>("setupBrowsers")->click();
        QCOMPARE(statusOf(dialog), none);
        environment.applyToCurrentProcess();
    }

    // From a folder without the packaged files: the failure is told in English, whatever the
    // language, and nothing starts; everything else follows a language switch, and the dialog grows
    // to fit the longer texts.
    void speaksTheChosenLanguageExceptForFailures()
    {
        // Registered from the packaged folder, the browsers need repair as a bare folder sees them.
        QCOMPARE(BrowserRegistration::registerBrowsers(applicationFolder, environment.dataFolder()).error,
                 QString());
        QFile::remove(browserRecord);
        const QString bare = environment.scratch() + "/bare";
        QVERIFY(QDir().mkpath(bare));
        Localization::setLanguage("de");
        BrowserSetup dialog(nullptr, bare);
        QCOMPARE(texts<QLabel>(dialog, "browserList", "browserState"),
                 QStringList({"Reparatur nötig", "Reparatur nötig"}));

        const QString missingFiles = "Setup files are missing. Run Rushlet from the packaged application "
                                     "folder, which includes RushletNativeHost and chrome-extension.";
        auto *setup = dialog.findChild<QPushButton *>("setupBrowsers");
        setup->click();
        QCOMPARE(statusOf(dialog), missingFiles);
        QCOMPARE(setup->text(), "Browser einrichten");
        Localization::setLanguage("fr");
        QCOMPARE(statusOf(dialog), missingFiles);
        QCOMPARE(texts<QLabel>(dialog, "browserList", "browserState").first(), "À réparer");
        QCOMPARE(texts<QLabel>(dialog, "extensionFolders").first(), "Pour Chromium :");

        button(dialog, "Ouvrir le dossier")->click();
        QCOMPARE(statusOf(dialog),
                 "Le dossier de l’extension est introuvable. Utilisez l’application Rushlet empaquetée.");
        Localization::setLanguage("de");
        QCOMPARE(statusOf(dialog),
                 "Der Erweiterungsordner fehlt. Verwenden Sie die gepackte Rushlet-Anwendung.");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto labels = dialog.findChildren<QLabel *>();
        for (const QLabel *label : labels)
            QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
        Localization::setLanguage("system");
        QCOMPARE(setup->text(), "Set up browsers");
        // A failed setup opens no browser.
        QVERIFY(!QFile::exists(browserRecord));
    }

    void followsTheLightOrDarkPalette_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("field");
        QTest::newRow("light") << false << QColor(0xff, 0xff, 0xff) << QColor(0xf3, 0xf6, 0xfa);
        QTest::newRow("dark") << true << QColor(0x25, 0x2b, 0x33) << QColor(0x30, 0x38, 0x44);
    }

    // The rows rebuilt after registering keep the look the dialog took when it opened.
    void followsTheLightOrDarkPalette()
    {
        QFETCH(bool, dark);
        QFETCH(QColor, background);
        QFETCH(QColor, field);
        const QPalette original = QApplication::palette();
        if (dark)
            QApplication::setPalette(QPalette(QColor(0x2b, 0x2b, 0x2b)));
        BrowserSetup dialog(nullptr, applicationFolder);
        QApplication::setPalette(original);
        dialog.findChild<QPushButton *>("setupBrowsers")->click();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QImage image = dialog.grab().toImage();
        QCOMPARE(image.pixelColor(3, 3), background);
        auto *edit = dialog.findChild<QLineEdit *>();
        const QPoint inside = edit->mapTo(&dialog, QPoint(edit->width() - 6, edit->height() / 2));
        QCOMPARE(image.pixelColor(inside * image.devicePixelRatio()), field);
    }
};

QTEST_MAIN(BrowserSetupTest)
#include "tst_BrowserSetup.moc"
