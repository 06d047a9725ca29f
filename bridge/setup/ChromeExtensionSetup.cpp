#include "bridge/setup/ChromeExtensionSetup.h"

#include "bridge/registration/ChromeBridgeRegistration.h"
#include "i18n/Localization.h"
#include "platform/ApplicationFiles.h"
#include "platform/ChromeBrowser.h"
#include "ui/ColourScheme.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString styleTemplate = QStringLiteral(
    "QDialog { background: %1; } QLabel { color: %2; }QLabel[secondary=true] { color: %3; }QPushButton { "
    "padding: 9px 14px; border: 1px solid %4; border-radius: 6px; background: %1; color: %2; "
    "}QPushButton:hover { "
    "background: %5; } QPushButton#setupChrome { background: %6; border-color: %6; color: white; "
    "}QPushButton#setupChrome:hover { background: %7; }QLineEdit { padding: 9px; border: 1px solid %4; "
    "border-radius: 6px; background: %5; color: %2; }");

QString styleSheetFor(bool dark)
{
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    // The primary button keeps the light set's accent in both looks, white text on it.
    const ColourScheme::DialogColours light = ColourScheme::dialogColours(false);
    return styleTemplate.arg(colours.surface, colours.primaryText, colours.secondaryText, colours.border,
                             colours.raised, light.accent, light.accentHover) +
           ColourScheme::buttonFocusSheet(dark, {QStringLiteral("setupChrome")});
}

QLabel *textLine(const QString &text, bool secondary)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setProperty("secondary", secondary);
    return label;
}

} // namespace

ChromeExtensionSetup::ChromeExtensionSetup(QWidget *parent, const QString &applicationFolder)
    : QDialog(parent)
    , applicationFolder(applicationFolder)
    , extensionFolder(QDir::toNativeSeparators(ApplicationFiles::extensionFolder(applicationFolder)))
{
    setWindowTitle(QStringLiteral("Chrome extension"));
    setObjectName(QStringLiteral("chromeExtensionSetup"));
    setFixedWidth(540);
    setStyleSheet(styleSheetFor(ColourScheme::isDark(palette())));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(26, 24, 26, 22);
    layout->setSpacing(14);

    QLabel *heading = textLine(QStringLiteral("Install Chrome extension guide"), false);
    QFont headingFont = heading->font();
    headingFont.setPointSize(18);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    layout->addWidget(textLine(
        QStringLiteral("Follow these steps to install the Rushlet extension in Google Chrome."), true));

    layout->addWidget(textLine(QStringLiteral("1. Set up the connection"), false));
    setupButton = new QPushButton(QStringLiteral("Set up Chrome extension"));
    setupButton->setObjectName(QStringLiteral("setupChrome"));
    layout->addWidget(setupButton);
    status = textLine(
        QStringLiteral("Registers the connection for your account. No administrator access needed."), true);
    status->setObjectName(QStringLiteral("chromeSetupStatus"));
    layout->addWidget(status);

    layout->addWidget(textLine(QStringLiteral("2. Enable Developer mode in Chrome"), false));
    layout->addWidget(textLine(
        QStringLiteral("On the Extensions page, turn on Developer mode, then choose Load unpacked."), true));

    layout->addWidget(textLine(QStringLiteral("3. Select this extension folder"), false));
    auto *folderField = new QLineEdit(extensionFolder);
    folderField->setReadOnly(true);
    folderField->setCursorPosition(0);
    layout->addWidget(folderField);
    auto *folderButtons = new QHBoxLayout;
    auto *copyButton = new QPushButton(QStringLiteral("Copy folder path"));
    auto *openFolderButton = new QPushButton(QStringLiteral("Open folder"));
    folderButtons->addWidget(copyButton);
    folderButtons->addWidget(openFolderButton);
    layout->addLayout(folderButtons);

    auto *openChromeButton = new QPushButton(QStringLiteral("Open Chrome extensions"));
    openChromeButton->setObjectName(QStringLiteral("openChromeExtensions"));
    layout->addWidget(openChromeButton);
    layout->addWidget(
        textLine(QStringLiteral("Chrome requires you to load this development extension once. If "
                                "already installed, click Reload instead, then refresh your webpages."),
                 true));

    auto *doneButton = new QPushButton(QStringLiteral("Done"));
    layout->addWidget(doneButton, 0, Qt::AlignRight);

    connect(setupButton, &QPushButton::clicked, this, &ChromeExtensionSetup::registerBridge);
    connect(copyButton, &QPushButton::clicked, this, &ChromeExtensionSetup::copyFolderPath);
    connect(openFolderButton, &QPushButton::clicked, this, &ChromeExtensionSetup::openFolder);
    connect(openChromeButton, &QPushButton::clicked, this, &ChromeExtensionSetup::openChromeExtensions);
    connect(doneButton, &QPushButton::clicked, this, &QDialog::accept);

    statusText = status->text();
    setupText = setupButton->text();
    Localization::bind(this);
    // Binding restores the texts of construction on a language switch; the status and the setup
    // button may have moved on since.
    connect(Localization::instance(), &Localization::changed, this,
            &ChromeExtensionSetup::retranslateChangedTexts);
    fitHeightToTexts();
}

ChromeExtensionSetup::~ChromeExtensionSetup() = default;

void ChromeExtensionSetup::registerBridge()
{
    const QString error = ChromeBridgeRegistration::registerBridge(
        applicationFolder, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    if (!error.isEmpty()) {
        // Registration failures stay in English, like every other error sentence of the bridge.
        showUntranslatedStatus(error);
        return;
    }
    ChromeBridgeRegistration::removeLegacyBridge();
    showStatus(QStringLiteral("Connection registered. Complete steps 2 and 3 in Chrome."));
    setupText = QStringLiteral("Repair connection");
    setupButton->setText(Localization::translate(setupText));
    openChromeExtensions();
}

void ChromeExtensionSetup::copyFolderPath()
{
    QGuiApplication::clipboard()->setText(extensionFolder);
    showStatus(QStringLiteral("Folder path copied. Paste it into Chrome's folder picker."));
}

void ChromeExtensionSetup::openFolder()
{
    if (!QFileInfo(extensionFolder).isDir() ||
        !QDesktopServices::openUrl(QUrl::fromLocalFile(extensionFolder)))
        showStatus(QStringLiteral("Extension folder is missing. Use the packaged Rushlet application."));
}

void ChromeExtensionSetup::openChromeExtensions()
{
    // Finding the browser can take seconds, during which the program must keep answering the
    // bridge; a second request meanwhile would only open the page twice.
    if (locatingChrome)
        return;
    locatingChrome = true;
    ChromeBrowser::locateInBackground(this, [this](const QString &chrome) {
        locatingChrome = false;
        if (chrome.isEmpty() || !ChromeBrowser::openExtensionsPage(chrome)) {
            showStatus(
                QStringLiteral("Google Chrome could not be found or opened. Open Google Chrome manually and "
                               "enter chrome://extensions in the address bar."));
        }
    });
}

void ChromeExtensionSetup::showStatus(const QString &english)
{
    statusText = english;
    statusTranslated = true;
    status->setText(Localization::translate(english));
    fitHeightToTexts();
}

void ChromeExtensionSetup::showUntranslatedStatus(const QString &text)
{
    statusText = text;
    statusTranslated = false;
    status->setText(text);
    fitHeightToTexts();
}

void ChromeExtensionSetup::retranslateChangedTexts()
{
    status->setText(statusTranslated ? Localization::translate(statusText) : statusText);
    setupButton->setText(Localization::translate(setupText));
    fitHeightToTexts();
}

void ChromeExtensionSetup::fitHeightToTexts()
{
    // A window whose wrapped lines need more height than its layout's plain minimum gets no
    // minimum height at all from Qt, and squeezes its rows; at this fixed width the height that
    // fits every line is known, so the dialog takes exactly that.
    ensurePolished();
    setFixedHeight(layout()->totalHeightForWidth(width()));
}
