#pragma once

#include <QStringList>

namespace TitleBarVisuals {

// Draws the main window's title bar in the colour set in force (`scheme` names it in the file
// names): active, inactive, with hovered caption buttons, maximized and in Japanese, on one
// sheet, and the window menu opened from the icon. Returns the files written.
QStringList render(const QString &folder, const QString &scheme, const QString &suffix);

} // namespace TitleBarVisuals
