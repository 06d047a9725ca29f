#include "bridge/setup/BrowserSetup.h"

#include "i18n/Localization.h"
#include "platform/ApplicationFiles.h"
#include "platform/BrowserPrograms.h"
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

#include <algorithm>

namespace {

using BrowserRegistration::BrowserStatus;
using BrowserRegistration::State;

const QString styleTemplate = QStringLiteral(
    "QDialog { background: %1; } QLabel { color: %2; }QLabel[secondary=true] { color: %3; }QPushButton { "
    "padding: 9px 14px; border: 1px solid %4; border-radius: 6px; background: %1; color: %2; "
    "}QPushButton:hover { "
    "background: %5; } QPushButton#setupBrowsers { background: %6; border-color: %6; color: white; "
    "}QPushButton#setupBrowsers:hover { background: %7; }QLineEdit { padding: 9px; border: 1px solid %4; "
    "border-radius: 6px; background: %5; color: %2; }");

const QString noBrowser = QStringLiteral(
    "No browser has run for your account yet. Start your browser once, then set up the connection again.");

QString styleSheetFor(bool dark)
{
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    // The primary button keeps the light set's accent in both looks, white text on it.
    const ColourScheme::DialogColours light = ColourScheme::dialogColours(false);
    return styleTemplate.arg(colours.surface, colours.primaryText, colours.secondaryText, colours.border,
                             colours.raised, light.accent, light.accentHover) +
           ColourScheme::buttonFocusSheet(dark, {QStringLiteral("setupBrowsers")});
}

QLabel *textLine(const QString &text, bool secondary)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setProperty("secondary", secondary);
    return label;
}

QString stateText(State state)
{
    switch (state) {
    case State::Registered:
        return QStringLiteral("Registered");
    case State::NeedsRepair:
        return QStringLiteral("Needs repair");
    case State::NeedsPermission:
        return QStringLiteral("Needs the Flatpak permission");
    case State::NotRegistered:
        break;
    }
    return QStringLiteral("Not registered yet");
}

// A field the user reads and copies from.
QLineEdit *readOnlyField(const QString &text)
{
    auto *field = new QLineEdit(text);
    field->setReadOnly(true);
    field->setCursorPosition(0);
    return field;
}

// An empty layout holder, so that a rebuilt part of the dialog takes its predecessor's place.
QWidget *holder(QLayout *layout)
{
    auto *widget = new QWidget;
    layout->setContentsMargins(0, 0, 0, 0);
    widget->setLayout(layout);
    return widget;
}

} // namespace

BrowserSetup::BrowserSetup(QWidget *parent, const QString &applicationFolder)
    : QDialog(parent)
    , applicationFolder(applicationFolder)
    , manifestFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
{
    setWindowTitle(QStringLiteral("Browser setup"));
    setObjectName(QStringLiteral("browserSetup"));
    setFixedWidth(540);
    setStyleSheet(styleSheetFor(ColourScheme::isDark(palette())));

    mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(26, 24, 26, 22);
    mainLayout->setSpacing(14);

    QLabel *heading = textLine(QStringLiteral("Connect your browsers"), false);
    QFont headingFont = heading->font();
    headingFont.setPointSize(18);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    mainLayout->addWidget(heading);
    mainLayout->addWidget(textLine(
        QStringLiteral("Follow these steps to send downloads from your browsers to Rushlet."), true));

    mainLayout->addWidget(textLine(QStringLiteral("1. Set up the connection"), false));
    setupButton = new QPushButton(QStringLiteral("Set up browsers"));
    setupButton->setObjectName(QStringLiteral("setupBrowsers"));
    mainLayout->addWidget(setupButton);
    status = textLine(
        QStringLiteral("Registers the connection for every browser you use. No administrator access needed."),
        true);
    status->setObjectName(QStringLiteral("browserSetupStatus"));
    mainLayout->addWidget(status);
    browserList = new QWidget;
    mainLayout->addWidget(browserList);

    mainLayout->addWidget(textLine(QStringLiteral("2. Allow extensions from a folder"), false));
    mainLayout->addWidget(
        textLine(QStringLiteral("In Chrome and the browsers built on Chromium, turn on Developer mode on the "
                                "Extensions page, then choose Load unpacked. In Firefox, choose Load "
                                "Temporary Add-on on the This Firefox page and pick manifest.json in the "
                                "folder."),
                 true));

    mainLayout->addWidget(textLine(QStringLiteral("3. Select this extension folder"), false));
    folderList = new QWidget;
    mainLayout->addWidget(folderList);

    auto *openButton = new QPushButton(QStringLiteral("Open extensions page"));
    openButton->setObjectName(QStringLiteral("openBrowserExtensions"));
    mainLayout->addWidget(openButton);
    mainLayout->addWidget(
        textLine(QStringLiteral("Each browser asks you to load this development extension once. If already "
                                "installed, click Reload instead, then refresh your webpages."),
                 true));

    auto *doneButton = new QPushButton(QStringLiteral("Done"));
    mainLayout->addWidget(doneButton, 0, Qt::AlignRight);

    connect(setupButton, &QPushButton::clicked, this, &BrowserSetup::registerBrowsers);
    connect(openButton, &QPushButton::clicked, this, &BrowserSetup::openExtensionsPage);
    connect(doneButton, &QPushButton::clicked, this, &QDialog::accept);

    statusText = status->text();
    setupText = setupButton->text();
    Localization::bind(this);
    // Binding restores the texts of construction on a language switch; the status, the setup
    // button and the browsers' parts may have moved on since.
    connect(Localization::instance(), &Localization::changed, this, &BrowserSetup::retranslateChangedTexts);
    showBrowsers(BrowserRegistration::inspect(applicationFolder, manifestFolder).browsers);
}

BrowserSetup::~BrowserSetup() = default;

void BrowserSetup::registerBrowsers()
{
    const BrowserRegistration::Outcome outcome =
        BrowserRegistration::registerBrowsers(applicationFolder, manifestFolder);
    showBrowsers(outcome.browsers);
    if (!outcome.error.isEmpty()) {
        // Registration failures stay in English, like every other error sentence of the bridge.
        showUntranslatedStatus(outcome.error);
        return;
    }
    setupText = QStringLiteral("Repair connection");
    setupButton->setText(Localization::translate(setupText));
    if (outcome.browsers.isEmpty()) {
        showStatus(noBrowser);
        return;
    }
    const bool permissionMissing =
        std::any_of(outcome.browsers.cbegin(), outcome.browsers.cend(),
                    [](const BrowserStatus &browser) { return browser.state == State::NeedsPermission; });
    showStatus(permissionMissing ? QStringLiteral("Connection registered. Grant the Flatpak permission shown "
                                                  "below, then complete steps 2 and 3.")
                                 : QStringLiteral("Connection registered. Complete steps 2 and 3 in your "
                                                  "browser."));
    openExtensionsPage();
}

void BrowserSetup::showBrowsers(const QList<BrowserStatus> &statuses)
{
    browsers = statuses;
    for (QWidget **part : {&browserList, &folderList}) {
        QWidget *rebuilt = part == &browserList ? browserRows() : folderRows();
        delete mainLayout->replaceWidget(*part, rebuilt);
        delete *part;
        *part = rebuilt;
        Localization::bind(rebuilt);
    }
    fitHeightToTexts();
}

QWidget *BrowserSetup::browserRows()
{
    auto *rows = new QVBoxLayout;
    rows->setSpacing(8);
    if (browsers.isEmpty()) {
        rows->addWidget(textLine(noBrowser, true));
    }
    for (const BrowserStatus &browser : std::as_const(browsers)) {
        auto *row = new QHBoxLayout;
        QLabel *name = textLine(browser.browser.name, false);
        name->setWordWrap(false);
        row->addWidget(name);
        row->addStretch();
        QLabel *state = textLine(stateText(browser.state), true);
        state->setWordWrap(false);
        state->setObjectName(QStringLiteral("browserState"));
        row->addWidget(state);
        rows->addLayout(row);
        if (browser.state == State::NeedsPermission) {
            rows->addWidget(
                textLine(QStringLiteral("Let it start Rushlet outside its sandbox: run this once in "
                                        "a terminal, then restart the browser."),
                         true));
            auto *command = new QHBoxLayout;
            command->addWidget(readOnlyField(browser.permissionCommand), 1);
            command->addWidget(copyButton(browser.permissionCommand, QStringLiteral("Copy command"),
                                          QStringLiteral("Command copied. Paste it into a terminal.")));
            rows->addLayout(command);
        }
    }
    QWidget *part = holder(rows);
    part->setObjectName(QStringLiteral("browserList"));
    return part;
}

QWidget *BrowserSetup::folderRows()
{
    // One folder per kind of extension; without any browser found, the Chrome one, which most
    // browsers load.
    QStringList chromiumNames;
    QStringList firefoxNames;
    for (const BrowserStatus &browser : std::as_const(browsers)) {
        (browser.browser.family == BrowserCatalog::Family::Firefox ? firefoxNames : chromiumNames)
            .append(browser.browser.name);
    }
    struct Folder
    {
        QString path;
        QStringList names;
    };
    QList<Folder> folders;
    if (!chromiumNames.isEmpty() || firefoxNames.isEmpty())
        folders.append({ApplicationFiles::extensionFolder(applicationFolder), chromiumNames});
    if (!firefoxNames.isEmpty())
        folders.append({ApplicationFiles::firefoxExtensionFolder(applicationFolder), firefoxNames});

    auto *rows = new QVBoxLayout;
    rows->setSpacing(8);
    for (const Folder &folder : std::as_const(folders)) {
        const QString path = QDir::toNativeSeparators(folder.path);
        if (!folder.names.isEmpty())
            rows->addWidget(textLine(Localization::translate(QStringLiteral("For %1:"))
                                         .arg(folder.names.join(QStringLiteral(", "))),
                                     true));
        rows->addWidget(readOnlyField(path));
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(
            copyButton(path, QStringLiteral("Copy folder path"),
                       QStringLiteral("Folder path copied. Paste it into your browser's folder "
                                      "picker.")));
        auto *openFolderButton = new QPushButton(QStringLiteral("Open folder"));
        connect(openFolderButton, &QPushButton::clicked, this, [this, path] { openFolder(path); });
        buttons->addWidget(openFolderButton);
        rows->addLayout(buttons);
    }
    QWidget *part = holder(rows);
    part->setObjectName(QStringLiteral("extensionFolders"));
    return part;
}

QPushButton *BrowserSetup::copyButton(const QString &text, const QString &buttonText,
                                      const QString &copiedStatus)
{
    auto *copy = new QPushButton(buttonText);
    connect(copy, &QPushButton::clicked, this, [this, text, copiedStatus] {
        QGuiApplication::clipboard()->setText(text);
        showStatus(copiedStatus);
    });
    return copy;
}

void BrowserSetup::openFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        showStatus(QStringLiteral("Extension folder is missing. Use the packaged Rushlet application."));
}

void BrowserSetup::openExtensionsPage()
{
    // Finding the browser can take seconds, during which the program must keep answering the
    // bridge; a second request meanwhile would only open the page twice.
    if (locatingBrowser)
        return;
    locatingBrowser = true;
    QList<BrowserCatalog::Browser> candidates;
    for (const BrowserStatus &browser : std::as_const(browsers))
        candidates.append(browser.browser);
    if (candidates.isEmpty())
        candidates = BrowserCatalog::known();
    BrowserPrograms::locateInBackground(this, candidates, [this](const BrowserPrograms::Located &located) {
        locatingBrowser = false;
        if (!BrowserPrograms::openExtensionsPage(located)) {
            showStatus(
                QStringLiteral("Your browser could not be found or opened. Open it manually and enter "
                               "chrome://extensions in the address bar, or about:debugging in Firefox."));
        }
    });
}

void BrowserSetup::showStatus(const QString &english)
{
    statusText = english;
    statusTranslated = true;
    status->setText(Localization::translate(english));
    fitHeightToTexts();
}

void BrowserSetup::showUntranslatedStatus(const QString &text)
{
    statusText = text;
    statusTranslated = false;
    status->setText(text);
    fitHeightToTexts();
}

void BrowserSetup::retranslateChangedTexts()
{
    status->setText(statusTranslated ? Localization::translate(statusText) : statusText);
    setupButton->setText(Localization::translate(setupText));
    // The folder captions are filled in with the browsers' names, which binding cannot redo.
    showBrowsers(browsers);
}

void BrowserSetup::fitHeightToTexts()
{
    // A window whose wrapped lines need more height than its layout's plain minimum gets no
    // minimum height at all from Qt, and squeezes its rows; at this fixed width the height that
    // fits every line is known, so the dialog takes exactly that.
    ensurePolished();
    setFixedHeight(layout()->totalHeightForWidth(width()));
}
