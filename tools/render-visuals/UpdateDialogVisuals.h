#pragma once

#include <QStringList>

// Renders the update dialog in each of its states, in English and Japanese, with the colour set
// the application palette selects, to PNG files named update-<state>-<scheme>[-ja]<suffix>.png.
// Returns the files written.
QStringList renderUpdateDialogs(const QString &folder, const QString &suffix, const QString &scheme);
