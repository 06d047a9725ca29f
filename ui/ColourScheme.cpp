#include "ui/ColourScheme.h"

#include <QColor>
#include <QPalette>

namespace ColourScheme {

bool isDark(const QColor &windowColour)
{
    return windowColour.lightness() < 128;
}

bool isDark(const QPalette &palette)
{
    return isDark(palette.color(QPalette::Window));
}

DialogColours dialogColours(bool dark)
{
    if (dark)
        return {QStringLiteral("#252b33"), QStringLiteral("#edf2f7"), QStringLiteral("#aeb8c4"),
                QStringLiteral("#414954"), QStringLiteral("#20252c"), QStringLiteral("#70b7ff"),
                QStringLiteral("#8fc7ff"), QStringLiteral("#10243b"), QStringLiteral("#303844")};
    return {QStringLiteral("#ffffff"), QStringLiteral("#202b3b"), QStringLiteral("#647184"),
            QStringLiteral("#dce2ea"), QStringLiteral("#f7f9fc"), QStringLiteral("#1765d1"),
            QStringLiteral("#1257b7"), QStringLiteral("#ffffff"), QStringLiteral("#f3f6fa")};
}

QString buttonFocusSheet(bool dark, const QStringList &primaryButtons)
{
    const DialogColours colours = dialogColours(dark);
    QStringList primary;
    for (const QString &name : primaryButtons)
        primary.append(QStringLiteral("QPushButton#%1:focus").arg(name));
    // The border alone marks it; the style's own dotted frame inside would be a second mark.
    QString sheet =
        QStringLiteral("QPushButton:focus { border-color: %1; outline: none; }").arg(colours.accent);
    if (!primary.isEmpty())
        sheet += QStringLiteral("%1 { border-color: %2; }")
                     .arg(primary.join(QStringLiteral(", ")), colours.primaryText);
    return sheet;
}

QString toolTipSheet(bool dark)
{
    const DialogColours colours = dialogColours(dark);
    return QStringLiteral("QToolTip { color: %1; background: %2; border: 1px solid %3; padding: 3px 5px; }")
        .arg(colours.primaryText, colours.surface, colours.secondaryText);
}

WindowColours windowColours(bool dark)
{
    if (dark)
        return {QStringLiteral("#404040"), QStringLiteral("#b8b8b8"), QStringLiteral("#283e50"),
                QStringLiteral("#60b9ff"), QStringLiteral("#343d49"), QStringLiteral("#414e60"),
                QStringLiteral("#252b33"), QStringLiteral("#323c48"), QStringLiteral("#70b7ff"),
                QStringLiteral("#ffb4ab")};
    return {QStringLiteral("#dddddd"), QStringLiteral("#626262"), QStringLiteral("#e7f1fb"),
            QStringLiteral("#0067c0"), QStringLiteral("#e5ebf2"), QStringLiteral("#d5e1ee"),
            QStringLiteral("#ffffff"), QStringLiteral("#f0f4f9"), QStringLiteral("#1765d1"),
            QStringLiteral("#b3261e")};
}

TitleBarColours titleBarColours(bool dark)
{
    if (dark)
        return {QStringLiteral("#20252c"), QStringLiteral("#353c45"), QStringLiteral("#354352")};
    return {QStringLiteral("#f3f6fa"), QStringLiteral("#dfe5ed"), QStringLiteral("#e3ebf5")};
}

CaptionColours captionColours(bool dark)
{
    return {QStringLiteral("#e81123"), QStringLiteral("#c42b1c"), dark ? 40 : 25, 55,
            dialogColours(dark).accent};
}

MenuColours menuColours(bool dark)
{
    if (dark)
        return {QStringLiteral("#edf2f7"),
                QStringLiteral("#424b57"),
                QStringLiteral("#33465b"),
                QStringLiteral("#82909f"),
                QStringLiteral("#252b33"),
                QStringLiteral("#424b57"),
                85,
                QStringLiteral("#6a7584")};
    return {QStringLiteral("#243244"),
            QStringLiteral("#e8e8e8"),
            QStringLiteral("#f0f2f5"),
            QStringLiteral("#8c98a7"),
            QStringLiteral("#ffffff"),
            QStringLiteral("#e7e7e7"),
            48,
            QStringLiteral("#aeb7c2")};
}

} // namespace ColourScheme
