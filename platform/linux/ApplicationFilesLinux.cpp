#include "platform/ApplicationFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString shippedFolder(const QString &programFolder, const QString &folderName)
{
    const QDir programs(programFolder);
    if (QFileInfo(programs.filePath(folderName)).isDir())
        return QDir::cleanPath(programs.absoluteFilePath(folderName));
    // The build gives the data folder relative to the programs' folder (bin/ → ../share/rushlet).
    return QDir::cleanPath(
        programs.absoluteFilePath(QStringLiteral(RUSHLET_DATA_FROM_PROGRAMS "/") + folderName));
}

} // namespace

namespace ApplicationFiles {

QString extensionFolder(const QString &programFolder)
{
    return shippedFolder(programFolder, QStringLiteral("chrome-extension"));
}

QString firefoxExtensionFolder(const QString &programFolder)
{
    return shippedFolder(programFolder, QStringLiteral("firefox-extension"));
}

} // namespace ApplicationFiles
