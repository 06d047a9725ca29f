#include "queue/closing/CloseConfirmationDialog.h"

#include "i18n/Localization.h"
#include "queue/closing/CheckIndicatorStyle.h"
#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int narrowestWidth = 440;

QString translated(const char *english)
{
    return Localization::translate(QString::fromUtf8(english));
}

QPushButton *footerButton(const char *english, QWidget *parent)
{
    auto *button = new QPushButton(translated(english), parent);
    // Enter must not quit or hide the program behind the user's back.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

CloseConfirmationDialog::CloseConfirmationDialog(bool trayUsable, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("closeConfirmation"));
    setWindowTitle(translated("Close Rushlet"));
    setWindowIcon(RushletIcons::appIcon());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // The dialog belongs to the main window, so it takes the window's look.
    const bool dark = ColourScheme::isDark(parent ? parent->palette() : palette());
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    setStyleSheet(
        QStringLiteral("QDialog#closeConfirmation { background: %1; }"
                       "QLabel, QCheckBox { color: %2; background: transparent; }"
                       "QLabel#closeDescription { color: %3; }"
                       "QWidget#closeFooter { background: %5; border-top: 1px solid %4; }"
                       "QPushButton { color: %2; background: %1; border: 1px solid %4; border-radius: 5px; "
                       "padding: 5px 12px; min-height: 16px; }"
                       "QPushButton:hover { background: %5; border-color: %3; }"
                       "QPushButton:focus { outline: none; }"
                       "QPushButton#keepInTray { background: %6; border-color: %6; color: %7; }"
                       "QPushButton#keepInTray:hover { background: %8; }"
                       "QCheckBox { spacing: 9px; padding: 4px 0; }")
            .arg(colours.surface, colours.primaryText, colours.secondaryText, colours.border, colours.footer,
                 colours.accent, colours.textOnAccent, colours.accentHover) +
        ColourScheme::buttonFocusSheet(dark, {QStringLiteral("keepInTray")}));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *content = new QVBoxLayout;
    content->setContentsMargins(20, 18, 20, 14);
    content->setSpacing(10);
    auto *questionRow = new QHBoxLayout;
    questionRow->setSpacing(12);
    auto *icon = new QLabel(this);
    icon->setPixmap(RushletIcons::appIcon().pixmap(QSize(32, 32), devicePixelRatio()));
    questionRow->addWidget(icon, 0, Qt::AlignTop);
    auto *question = new QLabel(translated("Do you want to quit Rushlet?"), this);
    QFont questionFont = question->font();
    questionFont.setPointSize(14);
    questionFont.setWeight(QFont::DemiBold);
    question->setFont(questionFont);
    question->setWordWrap(true);
    questionRow->addWidget(question, 1);
    content->addLayout(questionRow);
    auto *description = new QLabel(
        trayUsable
            ? translated("Quit to stop downloads and save progress, or keep downloading in the system tray.")
            : translated("Quitting stops downloads and saves your progress."),
        this);
    description->setObjectName(QStringLiteral("closeDescription"));
    description->setWordWrap(true);
    content->addWidget(description);
    remember = new QCheckBox(translated("Remember my choice"), this);
    auto *indicatorStyle = new CheckIndicatorStyle(colours);
    indicatorStyle->setParent(remember);
    remember->setStyle(indicatorStyle);
    content->addWidget(remember);
    layout->addLayout(content);

    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("closeFooter"));
    footer->setAttribute(Qt::WA_StyledBackground, true);
    auto *buttons = new QHBoxLayout(footer);
    buttons->setContentsMargins(20, 10, 20, 10);
    buttons->setSpacing(8);
    buttons->addStretch();
    QPushButton *cancel = footerButton("Cancel", footer);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    QPushButton *quit = footerButton("Quit Rushlet", footer);
    connect(quit, &QPushButton::clicked, this, [this] { done(QuitResult); });
    buttons->addWidget(quit);
    if (trayUsable) {
        QPushButton *keep = footerButton("Keep running in tray", footer);
        keep->setObjectName(QStringLiteral("keepInTray"));
        connect(keep, &QPushButton::clicked, this, [this] { done(KeepInTrayResult); });
        buttons->addWidget(keep);
    }
    layout->addWidget(footer);

    // Texts are plain text, whatever a translation holds.
    for (QLabel *label : findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);

    // Wide enough for the buttons in every language; as tall as the wrapped texts need at that
    // width.
    const int width = qMax(narrowestWidth, footer->sizeHint().width());
    setFixedWidth(width);
    setFixedHeight(layout->hasHeightForWidth() ? layout->heightForWidth(width) : sizeHint().height());
    cancel->setFocus();
}

bool CloseConfirmationDialog::rememberChoice() const
{
    return remember->isChecked();
}
