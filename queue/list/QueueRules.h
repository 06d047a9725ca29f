#pragma once

#include "engine/DownloadSnapshot.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The rules of the download list that need no objects: which statuses count as running, the
// form of queue.json, what is accepted when it is read back, and how a stored state is
// reconciled with what is on disk now.
namespace QueueRules {

// A plan never has more segments than an engine has connections.
inline constexpr int maxSegments = 16;

// True for the statuses in which an engine works without being told again.
bool isActiveStatus(const QString &status);

// Where the list is kept: queue.json in the per-user data folder.
QString queueFilePath();

// Reads one saved download with every default and clamp applied; the caller decides whether the
// result is acceptable. Segments beyond the sixteenth are dropped.
DownloadSnapshot entryFromJson(const QJsonObject &object);

// The whole document, in list order, indented. A running download is written as "Paused", because
// nothing resumes by itself after a restart.
QByteArray writeQueue(const QList<DownloadSnapshot> &snapshots);
// The same, for a list that should not be copied to be written.
QByteArray writeQueue(const QList<const DownloadSnapshot *> &snapshots);

struct QueueReadResult
{
    // False when the document is not JSON or its top level is not an array.
    bool readable = false;
    QList<DownloadSnapshot> snapshots;
};

// Reads a saved document. Elements without an id, with an id seen before, with an empty or
// relative destination, or with a destination an earlier element already uses are skipped; the
// first element wins. Nothing is compared with the disk here.
QueueReadResult readQueue(const QByteArray &document);

// Reconciles a stored state with the file at its destination (only the destination itself, not
// the partial file or checkpoint beside it).
DownloadSnapshot repairAgainstDisk(DownloadSnapshot snapshot);

// Destinations name the same file when their cleaned paths match, letter case counting where the
// platform's file systems tell it apart (on Linux it does); the key is equal for exactly those.
QString destinationKey(const QString &path);
bool sameDestination(const QString &first, const QString &second);

} // namespace QueueRules
