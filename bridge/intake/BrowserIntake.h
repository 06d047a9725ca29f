#pragma once

#include <QJsonObject>
#include <QString>

class DownloadList;
struct DownloadSnapshot;

// How a download request from the browser enters the list: under a free name in the download
// folder, waiting for the user to confirm it, and answered at once.
namespace BrowserIntake {

// The list's id for a browser download: the same browser id always gives the same entry.
QString browserEntryId(const QString &requestId);

// The folder last chosen in the add dialog, else the system's download folder.
QString downloadFolder();

// Puts a validated download request into `list` as "Awaiting confirmation" with a free name in
// `folder`, together with what the browser sent of its session, and saves the list. A request
// whose entry exists already is a repeat when it names the entry's link, and changes nothing;
// naming another link, it is refused. Returns the bridge's reply: the entry's id, or why the
// request could not be taken.
QJsonObject acceptDownload(DownloadList &list, const QJsonObject &request, const QString &folder);

// Where a download the browser handed over stands, for the browser to decide about its own copy:
// "awaiting" confirmation, "queued" (confirmed, nothing received yet), "fetching" (bytes are
// here), "done", "failed" (before any byte arrived), "gone" (the user cancelled or removed it),
// or "unknown" (not in the list for any other reason, such as a list that was lost: the browser
// must go on with its copy). `snapshot` is null when the list has no such entry.
QString handOffState(const DownloadSnapshot *snapshot, bool removedByUser);

// The reply to a validated "status" request: {"ok":true,"state":…}.
QJsonObject downloadState(const DownloadList &list, const QJsonObject &request);
// The id of a paused or failed download in `list` that saves where the request would if the name
// were free: most likely the same file, sent again with a fresh link after the old one died.
// Empty when there is none, or when the request's own entry exists already.
QString stoppedDownloadAtSameDestination(const DownloadList &list, const QJsonObject &request,
                                         const QString &folder);

} // namespace BrowserIntake
