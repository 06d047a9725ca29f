#pragma once

#include <QPalette>
#include <QStringList>

// Renders the download context menu in every status, the tray menu, the "When closing the
// window" submenu and the close question with and without a tray, in English and German, in the
// light and the dark colour set. Returns the files written.
QStringList renderTrayVisuals(const QString &folder, const QString &suffix, const QPalette &light,
                              const QPalette &dark);
