#include "queue/actions/TextEntryDialog.h"

#include "i18n/Localization.h"
#include "ui/ColourScheme.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString styleTemplate = QStringLiteral(
    "QDialog { background: %1; }QLabel { color: %2; background: transparent; }QLabel#entryProblem { color: "
    "%7; "
    "}QLineEdit { background: %1; color: %2; border: 1px solid %3; border-radius: 6px; padding: 7px 9px; "
    "selection-background-color: %4; }QLineEdit:focus { border-color: %4; }QPushButton { padding: 7px 16px; "
    "border: 1px solid %3; border-radius: 6px; color: %2; background: %1; }QPushButton:hover { background: "
    "%5; }QPushButton:default { background: %4; color: %6; border-color: %4; }QPushButton:default:disabled "
    "{ background: %5; color: %8; border-color: %3; }");

constexpr int dialogWidth = 460;

} // namespace

TextEntryDialog::TextEntryDialog(QWidget *parent, const QString &objectName, const Texts &texts,
                                 const QString &initial, Check check)
    : QDialog(parent)
    , check(std::move(check))
    , entry(new QLineEdit(initial))
    , problem(new QLabel)
{
    setObjectName(objectName);
    setWindowTitle(texts.title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedWidth(dialogWidth);
    const bool dark = ColourScheme::isDark(palette());
    const ColourScheme::DialogColours colours = ColourScheme::dialogColours(dark);
    setStyleSheet(styleTemplate.arg(colours.surface, colours.primaryText, colours.border, colours.accent,
                                    colours.footer, colours.textOnAccent,
                                    ColourScheme::windowColours(dark).errorText, colours.secondaryText));

    auto *message = new QLabel(texts.message);
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    entry->setPlaceholderText(texts.placeholder);
    entry->selectAll();
    problem->setObjectName(QStringLiteral("entryProblem"));
    problem->setWordWrap(true);
    problem->setTextFormat(Qt::PlainText);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    accept = buttons->button(QDialogButtonBox::Ok);
    accept->setText(texts.acceptButton);
    accept->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(Localization::translate(QStringLiteral("Cancel")));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 20, 22, 18);
    layout->setSpacing(10);
    layout->addWidget(message);
    layout->addWidget(entry);
    layout->addWidget(problem);
    layout->addSpacing(6);
    layout->addWidget(buttons);

    connect(entry, &QLineEdit::textChanged, this, &TextEntryDialog::recheck);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (accept->isEnabled())
            QDialog::accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    recheck();
    entry->setFocus();
}

QString TextEntryDialog::text() const
{
    return entry->text().trimmed();
}

void TextEntryDialog::recheck()
{
    // An empty field is not wrong yet, only not done.
    const QString reason = entry->text().trimmed().isEmpty() ? QString() : check(entry->text());
    problem->setText(reason);
    problem->setVisible(!reason.isEmpty());
    accept->setEnabled(!entry->text().trimmed().isEmpty() && reason.isEmpty());
}
