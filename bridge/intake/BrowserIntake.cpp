#include "bridge/intake/BrowserIntake.h"

#include "bridge/protocol/BridgeProtocol.h"
#include "bridge/protocol/BrowserFileNames.h"
#include "engine/DownloadSnapshot.h"
#include "queue/input/DownloadInputRules.h"
#include "queue/list/DownloadList.h"

#include <QDir>

namespace BrowserIntake {

namespace {

constexpr int browserConnections = 8;

QString requestedName(const QJsonObject &request, const QUrl &url)
{
    QString name = request.value(QStringLiteral("filename")).toString();
    if (name.isEmpty())
        name = url.fileName(QUrl::FullyDecoded);
    return BrowserFileNames::sanitizeFileName(name);
}

} // namespace

QString browserEntryId(const QString &requestId)
{
    return QStringLiteral("chrome-") + requestId;
}

QString downloadFolder()
{
    return DownloadInputRules::downloadFolder();
}

QJsonObject acceptDownload(DownloadList &list, const QJsonObject &request, const QString &folder)
{
    const QString id = browserEntryId(request.value(QStringLiteral("id")).toString());
    // The browser may send the same download twice; the user confirms it once.
    if (!list.contains(id)) {
        const QUrl url(request.value(QStringLiteral("url")).toString(), QUrl::TolerantMode);
        const QString destination = BrowserFileNames::chooseFreeDestination(
            folder, requestedName(request, url),
            [&list](const QString &path) { return !list.idWithDestination(path).isEmpty(); });
        if (destination.isEmpty())
            return BridgeProtocol::errorReply(QStringLiteral("Could not choose a free file name."));

        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = url;
        snapshot.destination = destination;
        snapshot.connections = browserConnections;
        snapshot.status = DownloadStatus::AwaitingConfirmation;
        if (!list.addDownload(snapshot))
            return BridgeProtocol::errorReply(QStringLiteral("Could not choose a free file name."));
        // An entry that is not on disk would vanish with the next start; take it back.
        if (!list.saveQueue()) {
            list.discardDownload(id);
            return BridgeProtocol::errorReply(QStringLiteral("Could not save the download queue."));
        }
    }
    return {{QStringLiteral("ok"), true}, {QStringLiteral("id"), id}};
}

QString stoppedDownloadAtSameDestination(const DownloadList &list, const QJsonObject &request,
                                         const QString &folder)
{
    if (list.contains(browserEntryId(request.value(QStringLiteral("id")).toString())))
        return {};
    const QUrl url(request.value(QStringLiteral("url")).toString(), QUrl::TolerantMode);
    const QString natural = QDir::cleanPath(QDir(folder).absoluteFilePath(requestedName(request, url)));
    const QString holder = list.idWithDestination(natural);
    const QueueEntry *entry = list.entry(holder);
    if (!entry ||
        (entry->snapshot.status != DownloadStatus::Paused && entry->snapshot.status != DownloadStatus::Error))
        return {};
    return holder;
}

} // namespace BrowserIntake
