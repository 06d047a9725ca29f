#pragma once

#include <QJsonObject>
#include <QString>

class DownloadList;

// How a download request from the browser enters the list: under a free name in the download
// folder, waiting for the user to confirm it, and answered at once.
namespace BrowserIntake {

// The list's id for a browser download: the same browser id always gives the same entry.
QString browserEntryId(const QString &requestId);

// The folder last chosen in the add dialog, else the system's download folder.
QString downloadFolder();

// Puts a validated download request into `list` as "Awaiting confirmation" with a free name in
// `folder`, and saves the list. A request whose entry exists already changes nothing. Returns the
// bridge's reply: the entry's id, or why the request could not be taken.
QJsonObject acceptDownload(DownloadList &list, const QJsonObject &request, const QString &folder);

// The id of a paused or failed download in `list` that saves where the request would if the name
// were free: most likely the same file, sent again with a fresh link after the old one died.
// Empty when there is none, or when the request's own entry exists already.
QString stoppedDownloadAtSameDestination(const DownloadList &list, const QJsonObject &request,
                                         const QString &folder);

} // namespace BrowserIntake
