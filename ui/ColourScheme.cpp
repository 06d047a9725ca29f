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
                QStringLiteral("#8fc7ff"), QStringLiteral("#10243b")};
    return {QStringLiteral("#ffffff"), QStringLiteral("#202b3b"), QStringLiteral("#647184"),
            QStringLiteral("#dce2ea"), QStringLiteral("#f7f9fc"), QStringLiteral("#1765d1"),
            QStringLiteral("#1257b7"), QStringLiteral("#ffffff")};
}

} // namespace ColourScheme
