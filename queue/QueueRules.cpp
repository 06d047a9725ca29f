#include "queue/QueueRules.h"

#include "engine/DownloadStatus.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace QueueRules {

namespace {

const QString keyId = QStringLiteral("id");
const QString keyUrl = QStringLiteral("url");
const QString keyDestination = QStringLiteral("destination");
const QString keyConnections = QStringLiteral("connections");
const QString keyStatus = QStringLiteral("status");
const QString keyError = QStringLiteral("error");
const QString keyReceived = QStringLiteral("received");
const QString keyTotal = QStringLiteral("total");
const QString keyResumable = QStringLiteral("resumable");
const QString keySegments = QStringLiteral("segments");
const QString keyStart = QStringLiteral("start");
const QString keyEnd = QStringLiteral("end");

constexpr int defaultConnections = 8;
constexpr int minConnections = 1;
constexpr int maxConnections = 16;

// Byte counts travel as decimal strings so that no reader rounds them through a double.
QJsonValue countToJson(qint64 count)
{
    return QString::number(count);
}

qint64 countFromJson(const QJsonValue &value)
{
    if (!value.isString())
        return 0;
    bool ok = false;
    const qint64 count = value.toString().toLongLong(&ok);
    return ok ? count : 0;
}

int connectionsFromJson(const QJsonValue &value)
{
    if (!value.isDouble())
        return defaultConnections;
    // Clamped as a double first, so that an absurd number still lands on the nearest bound.
    return int(std::clamp(value.toDouble(), double(minConnections), double(maxConnections)));
}

} // namespace

bool isActiveStatus(const QString &status)
{
    return status == DownloadStatus::Downloading || status == DownloadStatus::Connecting ||
           status == DownloadStatus::Retrying;
}

QString queueFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/queue.json");
}

QJsonObject entryToJson(const DownloadSnapshot &snapshot)
{
    QJsonArray segments;
    for (const SegmentProgress &segment : snapshot.segments) {
        segments.append(QJsonObject{{keyStart, countToJson(segment.start)},
                                    {keyEnd, countToJson(segment.end)},
                                    {keyReceived, countToJson(segment.received)}});
    }
    const QString status = isActiveStatus(snapshot.status) ? DownloadStatus::Paused : snapshot.status;
    return QJsonObject{{keyId, snapshot.id},
                       {keyUrl, QString::fromUtf8(snapshot.url.toEncoded(QUrl::FullyEncoded))},
                       {keyDestination, snapshot.destination},
                       {keyConnections, snapshot.connections},
                       {keyStatus, status},
                       {keyTotal, countToJson(snapshot.total)},
                       {keyReceived, countToJson(snapshot.received)},
                       {keyResumable, snapshot.resumable},
                       {keyError, snapshot.error},
                       {keySegments, segments}};
}

DownloadSnapshot entryFromJson(const QJsonObject &object)
{
    DownloadSnapshot snapshot;
    snapshot.id = object.value(keyId).toString();
    snapshot.url = QUrl(object.value(keyUrl).toString(), QUrl::TolerantMode);
    snapshot.destination = object.value(keyDestination).toString();
    snapshot.connections = connectionsFromJson(object.value(keyConnections));
    const QJsonValue status = object.value(keyStatus);
    snapshot.status = status.isString() ? status.toString() : DownloadStatus::Paused;
    snapshot.total = countFromJson(object.value(keyTotal));
    snapshot.received = countFromJson(object.value(keyReceived));
    snapshot.resumable = object.value(keyResumable).toBool(false);
    snapshot.error = object.value(keyError).toString();
    const QJsonArray segments = object.value(keySegments).toArray();
    for (const QJsonValue &value : segments) {
        if (snapshot.segments.size() == maxSegments)
            break;
        const QJsonObject segment = value.toObject();
        snapshot.segments.append(SegmentProgress{countFromJson(segment.value(keyStart)),
                                                 countFromJson(segment.value(keyEnd)),
                                                 countFromJson(segment.value(keyReceived))});
    }
    return snapshot;
}

QByteArray writeQueue(const QList<DownloadSnapshot> &snapshots)
{
    QJsonArray array;
    for (const DownloadSnapshot &snapshot : snapshots)
        array.append(entryToJson(snapshot));
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QueueReadResult readQueue(const QByteArray &document)
{
    QueueReadResult result;
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError || !parsed.isArray())
        return result;
    result.readable = true;

    QSet<QString> ids;
    QSet<QString> destinations;
    const QJsonArray array = parsed.array();
    for (const QJsonValue &value : array) {
        DownloadSnapshot snapshot = entryFromJson(value.toObject());
        if (snapshot.id.isEmpty() || ids.contains(snapshot.id))
            continue;
        if (snapshot.destination.isEmpty() || QDir::isRelativePath(snapshot.destination))
            continue;
        // Two engines on one destination would write into the same partial file.
        const QString key = destinationKey(snapshot.destination);
        if (destinations.contains(key))
            continue;
        ids.insert(snapshot.id);
        destinations.insert(key);
        result.snapshots.append(std::move(snapshot));
    }
    return result;
}

DownloadSnapshot repairAgainstDisk(DownloadSnapshot snapshot)
{
    const QFileInfo destination(snapshot.destination);
    if (snapshot.status == DownloadStatus::Completed) {
        if (destination.isFile()) {
            snapshot.total = destination.size();
            snapshot.received = snapshot.total;
        } else {
            snapshot.status = DownloadStatus::Error;
            snapshot.error = QStringLiteral("The completed file was moved or deleted.");
        }
        return snapshot;
    }
    if (destination.exists()) {
        snapshot.status = DownloadStatus::Error;
        snapshot.error = QStringLiteral("A destination file already exists. Verify it before retrying; "
                                        "Rushlet will not overwrite it.");
    } else if (isActiveStatus(snapshot.status)) {
        snapshot.status = DownloadStatus::Paused;
    }
    return snapshot;
}

QString destinationKey(const QString &path)
{
    return QDir::cleanPath(path).toCaseFolded();
}

bool sameDestination(const QString &first, const QString &second)
{
    return destinationKey(first) == destinationKey(second);
}

} // namespace QueueRules
