#pragma once

#include <QPalette>
#include <QString>

// Pictures of the main window: empty, and holding twenty downloads in every status with each
// category selected once, in the light and the dark colour set, in English, German and
// Japanese. The window runs on a private HOME, so the user's list and settings stay untouched.
namespace MainWindowPictures {

// Writes the PNG files into `folder`, each name ending in `suffix`, and prints their paths.
void render(const QString &folder, const QString &suffix, const QPalette &light, const QPalette &dark);

} // namespace MainWindowPictures
