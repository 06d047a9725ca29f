#include "platform/ApplicationFiles.h"

#include <QDir>
#include <QFileInfo>

namespace ApplicationFiles {

QString extensionFolder(const QString &programFolder)
{
    const QString folderName = QStringLiteral("chrome-extension");
    const QDir programs(programFolder);
    if (QFileInfo(programs.filePath(folderName)).isDir())
        return QDir::cleanPath(programs.absoluteFilePath(folderName));
    // The build gives the data folder relative to the programs' folder (bin/ → ../share/rushlet).
    return QDir::cleanPath(
        programs.absoluteFilePath(QStringLiteral(RUSHLET_DATA_FROM_PROGRAMS "/") + folderName));
}

} // namespace ApplicationFiles
