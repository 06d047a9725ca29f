#include "queue/adding/AddDialog.h"

#include "engine/ChecksumRules.h"
#include "engine/FreeSpaceRules.h"
#include "engine/SpeedLimitRules.h"
#include "i18n/Localization.h"
#include "platform/DiskSpace.h"
#include "queue/adding/DialogComboBox.h"
#include "queue/input/DownloadInputRules.h"
#include "queue/view/DisplayFormat.h"
#include "ui/ColourScheme.h"
#include "ui/ModalDialogs.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString styleTemplate = QStringLiteral(
    "QDialog#addDownloadDialog { background: %1; }QLabel { color: %2; background: transparent; "
    "}QLabel#secondary "
    "{ color: %3; }QLineEdit, QComboBox { background: %1; color: %2; border: 1px solid %4; border-radius: "
    "6px; "
    "padding: 8px 10px; min-height: 18px; selection-background-color: %6; }QLineEdit:hover, QComboBox:hover "
    "{ "
    "border-color: %3; }QLineEdit:focus, QComboBox:focus { border-color: %6; }QComboBox { padding-right: "
    "28px; "
    "}QComboBox::drop-down { border: 0; width: 28px; }QComboBox::down-arrow { image: none; }QComboBox "
    "QAbstractItemView { background: %1; color: %2; border: 1px solid %4; selection-background-color: %5; "
    "selection-color: %2; padding: 4px; outline: 0; }QPushButton { padding: 8px 16px; border: 1px solid %4; "
    "border-radius: 6px; color: %2; background: %1; min-height: 18px; }QPushButton:hover { background: %5; "
    "}QPushButton:focus { border-color: %6; }QPushButton#addDownloadPrimary { background: %6; color: %7; "
    "border-color: %6; min-width: 100px; }QPushButton#addDownloadPrimary:hover { background: %8; "
    "}QWidget#addDownloadFooter { background: %5; }QFrame#addDownloadDivider { background: %4; border: 0; }");

const int connectionCounts[] = {1, 4, 8, 16};
constexpr int defaultConnectionsIndex = 2;

QString styleSheetFor(bool dark)
{
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    // Also shown without a parent window, whose sheet would otherwise style the tool tips.
    return styleTemplate.arg(colours.surface, colours.primaryText, colours.secondaryText, colours.border,
                             colours.footer, colours.accent, colours.textOnAccent, colours.accentHover) +
           ColourScheme::buttonFocusSheet(dark, {QStringLiteral("addDownloadPrimary")}) +
           ColourScheme::toolTipSheet(dark);
}

QLabel *secondaryLine(const QString &text)
{
    auto *label = new QLabel(text);
    label->setObjectName(QStringLiteral("secondary"));
    label->setWordWrap(true);
    return label;
}

// A label above its field, whose mnemonic focuses `buddy`; `body`, where given, stands below in
// the field's place (a row that holds the field).
QVBoxLayout *labelledField(const QString &label, QWidget *buddy, QLayout *body = nullptr)
{
    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    auto *caption = new QLabel(label);
    QFont font = caption->font();
    font.setWeight(QFont::Medium);
    caption->setFont(font);
    caption->setBuddy(buddy);
    column->addWidget(caption);
    if (body)
        column->addLayout(body);
    else
        column->addWidget(buddy);
    return column;
}

} // namespace

AddDialog::AddDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Add download"));
    setObjectName(QStringLiteral("addDownloadDialog"));
    setFixedWidth(520);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setStyleSheet(styleSheetFor(ColourScheme::isDark(palette())));

    urlField = new QLineEdit;
    urlField->setObjectName(QStringLiteral("downloadUrl"));
    urlField->setPlaceholderText(QStringLiteral("https://example.com/file.zip"));
    nameField = new QLineEdit;
    nameField->setObjectName(QStringLiteral("downloadName"));
    nameField->setPlaceholderText(QStringLiteral("Filled automatically from the link"));
    folderField = new QLineEdit(QDir::toNativeSeparators(DownloadInputRules::downloadFolder()));
    folderField->setObjectName(QStringLiteral("downloadFolder"));
    connectionsChoice = new DialogComboBox;
    connectionsChoice->setObjectName(QStringLiteral("downloadConnections"));
    for (const int count : connectionCounts)
        connectionsChoice->addItem(QString(), count);
    connectionsChoice->setCurrentIndex(defaultConnectionsIndex);
    startModeChoice = new DialogComboBox;
    startModeChoice->setObjectName(QStringLiteral("downloadStartMode"));
    startModeChoice->addItems({QStringLiteral("Immediately"), QStringLiteral("Add to queue")});
    limitField = new QLineEdit;
    limitField->setObjectName(QStringLiteral("downloadSpeedLimit"));
    limitField->setPlaceholderText(QStringLiteral("Unlimited"));
    checksumField = new QLineEdit;
    checksumField->setObjectName(QStringLiteral("downloadChecksum"));
    checksumField->setPlaceholderText(QStringLiteral("Optional: sha-256=… or the digest alone"));
    optionsProblemLabel = new QLabel;
    optionsProblemLabel->setObjectName(QStringLiteral("addDownloadProblem"));
    optionsProblemLabel->setWordWrap(true);
    optionsProblemLabel->setStyleSheet(
        QStringLiteral("color: %1;")
            .arg(ColourScheme::windowColours(ColourScheme::isDark(palette())).errorText));
    optionsProblemLabel->hide();

    auto *content = new QVBoxLayout;
    content->setContentsMargins(26, 24, 26, 22);
    content->setSpacing(0);
    auto *heading = new QLabel(QStringLiteral("New download"));
    QFont headingFont = heading->font();
    headingFont.setPointSize(18);
    headingFont.setWeight(QFont::DemiBold);
    heading->setFont(headingFont);
    content->addWidget(heading);
    content->addSpacing(5);
    content->addWidget(secondaryLine(QStringLiteral("Add a direct link to the file you want to save.")));
    content->addSpacing(24);

    content->addLayout(labelledField(QStringLiteral("Download &URL"), urlField));
    content->addSpacing(16);
    content->addLayout(labelledField(QStringLiteral("File &name"), nameField));
    content->addSpacing(16);

    auto *browseButton = new QPushButton(QStringLiteral("Browse…"));
    // Enter in the fields must submit the dialog, never open the folder chooser.
    browseButton->setAutoDefault(false);
    auto *folderRow = new QHBoxLayout;
    folderRow->setContentsMargins(0, 0, 0, 0);
    folderRow->setSpacing(8);
    folderRow->addWidget(folderField, 1);
    folderRow->addWidget(browseButton);
    QVBoxLayout *folderColumn = labelledField(QStringLiteral("Save &to"), folderField, folderRow);
    spaceWarning = new QLabel;
    spaceWarning->setObjectName(QStringLiteral("addDownloadSpaceWarning"));
    spaceWarning->setWordWrap(true);
    spaceWarning->hide();
    folderColumn->addWidget(spaceWarning);
    content->addLayout(folderColumn);
    content->addSpacing(18);

    auto *choices = new QHBoxLayout;
    choices->setSpacing(18);
    choices->addLayout(labelledField(QStringLiteral("&Connections"), connectionsChoice), 1);
    choices->addLayout(labelledField(QStringLiteral("&Start"), startModeChoice), 1);
    content->addLayout(choices);
    content->addSpacing(16);

    auto *options = new QHBoxLayout;
    options->setSpacing(18);
    options->addLayout(labelledField(QStringLiteral("Speed &limit"), limitField), 1);
    options->addLayout(labelledField(QStringLiteral("C&hecksum"), checksumField), 2);
    content->addLayout(options);
    content->addSpacing(6);
    content->addWidget(optionsProblemLabel);
    content->addSpacing(10);
    content->addWidget(
        secondaryLine(QStringLiteral("Pause and resume are available when supported by the server.")));

    auto *divider = new QFrame;
    divider->setObjectName(QStringLiteral("addDownloadDivider"));
    divider->setFixedHeight(1);

    // Buttons of the box's standard kinds would carry the platform theme's stock bitmaps, foreign
    // to the drawn look; these carry text only, in the platform's order of accept and reject.
    auto *buttons = new QDialogButtonBox;
    primaryButton = buttons->addButton(QStringLiteral("Download"), QDialogButtonBox::AcceptRole);
    primaryButton->setObjectName(QStringLiteral("addDownloadPrimary"));
    primaryButton->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    auto *footer = new QWidget;
    footer->setObjectName(QStringLiteral("addDownloadFooter"));
    footer->setAttribute(Qt::WA_StyledBackground);
    auto *footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(26, 16, 26, 16);
    footerLayout->addStretch();
    footerLayout->addWidget(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(content);
    outer->addWidget(divider);
    outer->addWidget(footer);

    connect(startModeChoice, &QComboBox::currentIndexChanged, this, &AddDialog::retranslate);
    connect(browseButton, &QPushButton::clicked, this, &AddDialog::chooseFolder);
    connect(urlField, &QLineEdit::textChanged, this, &AddDialog::fillNameFromLink);
    connect(folderField, &QLineEdit::textChanged, this, &AddDialog::showSpaceWarning);
    // Only typing counts: the name that the link or a caller puts there may still be replaced.
    connect(nameField, &QLineEdit::textEdited, this, [this] { nameEdited = true; });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &AddDialog::validate);
    connect(limitField, &QLineEdit::textChanged, this, &AddDialog::showOptionsProblem);
    connect(checksumField, &QLineEdit::textChanged, this, &AddDialog::showOptionsProblem);

    takeLinkFromClipboard();
    Localization::bind(this);
    // Binding brings back the texts of construction; the formatted choices and the primary
    // button's text follow the state instead.
    connect(Localization::instance(), &Localization::changed, this, &AddDialog::retranslate);
    retranslate();
    urlField->setFocus();
}

AddDialog::~AddDialog() = default;

void AddDialog::prefill(const QUrl &url, const QString &destination, int connections)
{
    showLink(url.toString());
    const QFileInfo file(destination);
    nameField->setText(file.fileName());
    folderField->setText(QDir::toNativeSeparators(file.path()));
    const int index = connectionsChoice->findData(connections);
    if (index >= 0)
        connectionsChoice->setCurrentIndex(index);
}

void AddDialog::setExpectedSize(qint64 bytes)
{
    expectedSize = bytes;
    showSpaceWarning();
}

void AddDialog::showSpaceWarning()
{
    const QString folder = QDir::fromNativeSeparators(folderField->text().trimmed());
    const qint64 available =
        expectedSize > 0 && QDir::isAbsolutePath(folder) ? DiskSpace::availableBytes(folder) : -1;
    const bool lacking = available >= 0 && available < expectedSize;
    if (lacking)
        spaceWarning->setText(Localization::translate(QString::fromLatin1(FreeSpaceRules::notEnoughSpaceText))
                                  .arg(DisplayFormat::formatSize(expectedSize, Localization::translate),
                                       DisplayFormat::formatSize(available, Localization::translate)));
    if (lacking == spaceWarning->isVisibleTo(this))
        return;
    spaceWarning->setVisible(lacking);
    // A wrapped line's height depends on its width, which the layout's minimum does not follow:
    // the dialog takes its height from its contents again, or the line squeezes the rest.
    adjustSize();
}

QString AddDialog::linkText() const
{
    return urlField->text();
}

QString AddDialog::destinationPath() const
{
    return DownloadInputRules::destinationPath(folderField->text(), nameField->text());
}

int AddDialog::connections() const
{
    return connectionsChoice->currentData().toInt();
}

bool AddDialog::startsImmediately() const
{
    return startModeChoice->currentIndex() == 0;
}

qint64 AddDialog::speedLimit() const
{
    qint64 rate = 0;
    QString problem;
    return SpeedLimitRules::parseRate(limitField->text(), &rate, &problem) ? rate : 0;
}

QString AddDialog::checksum() const
{
    ChecksumRules::Checksum parsed;
    QString problem;
    return ChecksumRules::parse(checksumField->text(), &parsed, &problem) ? ChecksumRules::toText(parsed)
                                                                          : QString();
}

QString AddDialog::optionsProblem() const
{
    QString problem;
    QStringList arguments;
    if (!limitField->text().trimmed().isEmpty()) {
        qint64 rate = 0;
        if (!SpeedLimitRules::parseRate(limitField->text(), &rate, &problem, &arguments))
            return Localization::translate(problem, arguments);
    }
    if (!checksumField->text().trimmed().isEmpty()) {
        ChecksumRules::Checksum parsed;
        if (!ChecksumRules::parse(checksumField->text(), &parsed, &problem, &arguments))
            return Localization::translate(problem, arguments);
    }
    return {};
}

void AddDialog::showOptionsProblem()
{
    const QString problem = optionsProblem();
    optionsProblemLabel->setText(problem);
    optionsProblemLabel->setVisible(!problem.isEmpty());
}

void AddDialog::takeLinkFromClipboard()
{
    const QString link = DownloadInputRules::linkFromClipboard(QGuiApplication::clipboard()->text());
    if (link.isEmpty())
        return;
    showLink(link);
}

void AddDialog::showLink(const QString &link)
{
    urlField->setText(link);
    // All selected, ready to be replaced, but with the cursor at the start, so that a long link
    // shows where it comes from rather than how it ends.
    urlField->setSelection(int(link.size()), -int(link.size()));
}

void AddDialog::fillNameFromLink()
{
    if (!nameEdited)
        nameField->setText(DownloadInputRules::nameFromLink(urlField->text()));
}

void AddDialog::chooseFolder()
{
    const QString chosen = ModalDialogs::chooseFolder(
        this, Localization::translate(QStringLiteral("Save downloads to")), folderField->text());
    if (!chosen.isEmpty())
        folderField->setText(QDir::toNativeSeparators(chosen));
}

void AddDialog::validate()
{
    QString problem = Localization::translate(
        DownloadInputRules::inputProblem(urlField->text(), nameField->text(), folderField->text()));
    if (problem.isEmpty())
        problem = optionsProblem();
    if (!problem.isEmpty()) {
        ModalDialogs::warning(this, Localization::translate(QStringLiteral("Cannot add download")), problem);
        return;
    }
    DownloadInputRules::rememberDownloadFolder(folderField->text().trimmed());
    accept();
}

void AddDialog::retranslate()
{
    for (int index = 0; index < connectionsChoice->count(); ++index) {
        connectionsChoice->setItemText(
            index, Localization::translateCount(QStringLiteral("%n connection|%n connections"),
                                                connectionsChoice->itemData(index).toInt()));
    }
    primaryButton->setText(Localization::translate(startsImmediately() ? QStringLiteral("Download")
                                                                       : QStringLiteral("Add to queue")));
    showSpaceWarning();
    showOptionsProblem();
}
