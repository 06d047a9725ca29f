#pragma once

#include <QString>

class QSettings;

// Takes over the download list and the settings of the earlier product, once: only while this
// program has neither a list nor a setting of its own, and only while the earlier product is not
// running. Nothing of the earlier product is changed. Returns true when something was copied.
bool migrateLegacyData(const QString &legacyDataFolder, const QString &dataFolder, QSettings &legacySettings,
                       QSettings &settings);
