#include "bridge/intake/BrowserIntake.h"

#include "bridge/protocol/BridgeProtocol.h"
#include "bridge/protocol/BrowserFileNames.h"
#include "engine/DownloadSnapshot.h"
#include "engine/RequestContextRules.h"
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
    const QUrl url(request.value(QStringLiteral("url")).toString(), QUrl::TolerantMode);
    if (const QueueEntry *existing = list.entry(id)) {
        // The browser may send the same download twice, and the user confirms it once. But an id
        // that names another link is no repeat: answering it "taken" would have the browser drop
        // a file that nothing fetches.
        if (existing->snapshot.url != url)
            return BridgeProtocol::errorReply(QStringLiteral("This download id is already taken by another "
                                                             "download."));
    } else {
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
        RequestContextRules::read(request, RequestContextRules::Numbers::Json, &snapshot.context);
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

QString handOffState(const DownloadSnapshot *snapshot, bool removedByUser)
{
    if (!snapshot)
        return removedByUser ? QStringLiteral("gone") : QStringLiteral("unknown");
    if (snapshot->status == DownloadStatus::Completed)
        return QStringLiteral("done");
    // Bytes on this side: the browser's copy is no longer the only one.
    if (snapshot->received > 0)
        return QStringLiteral("fetching");
    if (snapshot->status == DownloadStatus::Error)
        return QStringLiteral("failed");
    if (snapshot->status == DownloadStatus::AwaitingConfirmation)
        return QStringLiteral("awaiting");
    return QStringLiteral("queued");
}

QJsonObject downloadState(const DownloadList &list, const QJsonObject &request)
{
    const QString id = browserEntryId(request.value(QStringLiteral("id")).toString());
    const QueueEntry *entry = list.entry(id);
    // Given to a download the list had: the browser's copy follows that one.
    if (!entry)
        entry = list.entry(list.attachedTo(id));
    return {{QStringLiteral("ok"), true},
            {QStringLiteral("state"), handOffState(entry ? &entry->snapshot : nullptr, list.wasRemoved(id))}};
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
