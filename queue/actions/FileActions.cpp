#include "queue/actions/FileActions.h"

#include "i18n/Localization.h"
#include "platform/FileManager.h"
#include "ui/ModalDialogs.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QUrl>
#include <QWidget>

namespace {

void warnLocation(QWidget *parent)
{
    ModalDialogs::warning(parent, Localization::translate(QStringLiteral("Cannot open location")),
                          Localization::translate(QStringLiteral("The file or folder could not be opened.")));
}

} // namespace

QString FileActions::folderTarget(const QString &destination)
{
    const QStringList candidates = {destination, destination + QStringLiteral(".rushlet.part"),
                                    destination + QStringLiteral(".brio.part")};
    for (const QString &candidate : candidates) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return {};
}

void FileActions::openInFolder(QWidget *parent, const QString &destination)
{
    const QString target = folderTarget(destination);
    if (target.isEmpty()) {
        // A folder that is not there cannot be opened, whatever the desktop's handler would claim
        // once it has been started.
        const QString folder = QFileInfo(destination).absolutePath();
        if (!QFileInfo(folder).isDir() || !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
            ModalDialogs::warning(
                parent, Localization::translate(QStringLiteral("Cannot open folder")),
                Localization::translate(QStringLiteral("The destination folder could not be opened.")));
        }
        return;
    }
    QObject *context = parent ? static_cast<QObject *>(parent) : QGuiApplication::instance();
    const QPointer<QWidget> owner(parent);
    FileManager::showItem(target, context, [owner](bool opened) {
        if (!opened)
            warnLocation(owner);
    });
}

void FileActions::openFile(QWidget *parent, const QString &path)
{
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        warnLocation(parent);
}

void FileActions::copyUrl(const QUrl &url)
{
    QGuiApplication::clipboard()->setText(url.toString(QUrl::FullyEncoded));
}

void FileActions::copyPath(const QString &destination)
{
    QGuiApplication::clipboard()->setText(QDir::toNativeSeparators(destination));
}
