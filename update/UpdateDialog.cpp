#include "update/UpdateDialog.h"

#include "i18n/Localization.h"
#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"
#include "update/UpdateSource.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

QPushButton *footerButton(QWidget *footer, const char *objectName)
{
    auto *button = new QPushButton(footer);
    button->setObjectName(QLatin1String(objectName));
    // Enter must not fetch an update or start a check by surprise.
    button->setAutoDefault(false);
    return button;
}

} // namespace

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("updateDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(RushletIcons::appIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(ColourScheme::isDark(palette()));
    // The primary buttons keep the light set's accent in both looks, white text on it.
    const ColourScheme::DialogColours light = ColourScheme::dialogColours(false);
    setStyleSheet(
        QStringLiteral(
            "QDialog { background:%1; } QLabel { color:%2; background:transparent; }"
            "QLabel#updateDetail { color:%4; } QWidget#updateFooter { background:%5; border-top:1px solid "
            "%3; }"
            "QTextEdit { background:%1; color:%2; border:1px solid %3; border-radius:5px; padding:8px; }"
            "QPushButton { color:%2; background:%1; border:1px solid %3; border-radius:5px; padding:5px "
            "12px; "
            "min-height:16px; }"
            "QPushButton:focus { outline:none; } QPushButton:hover { background:%5; }"
            "QPushButton#updateDownload, QPushButton#updateRetry { color:white; background:%6; "
            "border-color:%6; }"
            "QPushButton#updateDownload:hover, QPushButton#updateRetry:hover { background:%7; }")
            .arg(colours.surface, colours.primaryText, colours.border, colours.secondaryText, colours.footer,
                 light.accent, light.accentHover) +
        ColourScheme::buttonFocusSheet(ColourScheme::isDark(palette()),
                                       {QStringLiteral("updateDownload"), QStringLiteral("updateRetry")}));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(22, 20, 22, 20);
    content->setSpacing(12);
    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    auto *icon = new QLabel(this);
    icon->setFixedSize(32, 32);
    icon->setPixmap(RushletIcons::appIcon().pixmap(QSize(32, 32), devicePixelRatio()));
    header->addWidget(icon);
    title = new QLabel(this);
    title->setObjectName(QStringLiteral("updateTitle"));
    title->setTextFormat(Qt::PlainText);
    title->setWordWrap(true);
    title->setFixedWidth(372);
    QFont titleFont = font();
    titleFont.setPointSize(13);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    header->addWidget(title, 1);
    content->addLayout(header);

    detail = new QLabel(this);
    detail->setObjectName(QStringLiteral("updateDetail"));
    detail->setTextFormat(Qt::PlainText);
    detail->setWordWrap(true);
    detail->setFixedWidth(416);
    content->addWidget(detail);

    notes = new QTextEdit(this);
    notes->setObjectName(QStringLiteral("updateNotes"));
    notes->setReadOnly(true);
    notes->setFixedHeight(132);
    content->addWidget(notes);
    outer->addLayout(content);

    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("updateFooter"));
    footer->setAttribute(Qt::WA_StyledBackground);
    auto *buttons = new QHBoxLayout(footer);
    buttons->setContentsMargins(22, 10, 22, 10);
    buttons->setSpacing(8);
    buttons->addStretch();
    done = footerButton(footer, "updateDone");
    retry = footerButton(footer, "updateRetry");
    download = footerButton(footer, "updateDownload");
    buttons->addWidget(done);
    buttons->addWidget(retry);
    buttons->addWidget(download);
    outer->addWidget(footer);

    connect(done, &QPushButton::clicked, this, &QDialog::close);
    connect(retry, &QPushButton::clicked, this, &UpdateDialog::retryRequested);
    connect(download, &QPushButton::clicked, this, &UpdateDialog::downloadRequested);
    connect(Localization::instance(), &Localization::changed, this, &UpdateDialog::refresh);
    refresh();
}

void UpdateDialog::display(UpdateChecker::State newState, const UpdateFeed &newFeed,
                           const QString &newErrorText)
{
    state = newState;
    feed = newFeed;
    errorText = newErrorText;
    refresh();
}

void UpdateDialog::showLinkFailure()
{
    detail->setText(Localization::translate(QStringLiteral("Could not open the download link.")));
}

void UpdateDialog::refresh()
{
    using State = UpdateChecker::State;
    const auto translated = [](const char *english) {
        return Localization::translate(QString::fromUtf8(english));
    };
    setWindowTitle(translated("Check for Updates"));
    done->setText(translated("Done"));
    retry->setText(translated("Retry"));
    download->setText(translated("Download update"));

    switch (state) {
    case State::UpdateAvailable:
        title->setText(translated("An update is available"));
        break;
    case State::UpToDate:
        title->setText(translated("Rushlet is up to date"));
        break;
    case State::Failed:
        title->setText(translated("Could not check for updates"));
        break;
    case State::Idle:
    case State::Checking:
        title->setText(translated("Checking for updates…"));
        break;
    }

    QString lines;
    if (state == State::Failed) {
        lines = translated("Please try again later. The update service may be unavailable.");
        if (!errorText.isEmpty())
            // What the program itself says about a failure reads in the user's language; the
            // network library's technical texts have no row and stay as they are.
            lines += QStringLiteral("\n\n") + Localization::translate(errorText);
    } else {
        lines = translated("Current version: %1").arg(UpdateSource::currentVersion());
    }
    if (state == State::UpdateAvailable) {
        lines += QLatin1Char('\n') + translated("New version: %1").arg(feed.version);
        QStringList facts;
        for (const QString &fact : {feed.date, feed.size})
            if (!fact.isEmpty())
                facts.append(fact);
        if (!facts.isEmpty())
            lines += QLatin1Char('\n') + facts.join(QStringLiteral("  ·  "));
    }
    detail->setText(lines);

    notes->setPlainText(feed.changes.join(QLatin1Char('\n')));
    notes->setVisible(state == State::UpdateAvailable);
    retry->setVisible(state == State::Failed);
    download->setVisible(state == State::UpdateAvailable);
}
