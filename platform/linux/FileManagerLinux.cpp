#include "platform/FileManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

// The freedesktop file-manager interface, offered by the common file managers.
const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString fileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
// Long enough for a file manager that the bus has to start first.
constexpr int showItemsTimeoutMs = 10000;

bool openContainingFolder(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

} // namespace

void FileManager::showItem(const QString &path, QObject *context, std::function<void(bool opened)> done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        done(openContainingFolder(path));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(fileManagerService, fileManagerPath,
                                                       fileManagerService, QStringLiteral("ShowItems"));
    // File managers take URIs: every character outside the plain set percent-encoded.
    const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    call << QStringList{uri} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, showItemsTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, path, done = std::move(done)] {
                         watcher->deleteLater();
                         // No file manager on the bus, or one that refused: the folder will do.
                         done(!watcher->isError() || openContainingFolder(path));
                     });
}
