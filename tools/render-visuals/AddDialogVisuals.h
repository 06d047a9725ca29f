#pragma once

#include <QPalette>
#include <QString>

// Renders the add-download dialog as a new download, as a download sent from the browser, and
// after a refused input (with the warning box), in both colour sets, in English and German.
// Prints the path of every file written.
void renderAddDialogs(const QString &folder, const QString &suffix, const QPalette &light,
                      const QPalette &dark);
