#include "app/LegacyMigration.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSettings>

namespace {
const QString queueFileName = QStringLiteral("queue.json");
}

bool migrateLegacyData(const QString &legacyDataFolder, const QString &dataFolder, QSettings &legacySettings,
                       QSettings &settings)
{
    const QDir ownFolder(dataFolder);
    const QDir legacyFolder(legacyDataFolder);

    if (ownFolder.exists(queueFileName) || !settings.allKeys().isEmpty())
        return false;

    const bool legacyHasQueue = legacyFolder.exists(queueFileName);
    const QStringList legacyKeys = legacySettings.allKeys();
    if (!legacyHasQueue && legacyKeys.isEmpty())
        return false;

    // The earlier product's lock keeps the copy from racing it while it rewrites its list.
    QLockFile legacyLock(legacyFolder.filePath(QStringLiteral("instance.lock")));
    legacyLock.setStaleLockTime(0);
    if (legacyFolder.exists() && !legacyLock.tryLock(0))
        return false;

    if (legacyHasQueue) {
        if (!QDir().mkpath(dataFolder))
            return false;
        if (!QFile::copy(legacyFolder.filePath(queueFileName), ownFolder.filePath(queueFileName)))
            return false;
    }

    for (const QString &key : legacyKeys)
        settings.setValue(key, legacySettings.value(key));
    settings.sync();
    return true;
}
