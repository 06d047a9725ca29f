#pragma once

#include "engine/DownloadSpec.h"
#include "engine/SegmentProgress.h"
#include "tests/support/TestHttpServer.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStringList>

// Small helpers shared by the engine's test programs.
namespace EngineTestSupport {

inline QByteArray randomBody(qint64 size, quint32 seed = 1)
{
    QByteArray body(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qint64 i = 0; i < size; ++i)
        body[i] = char(generator.bounded(256));
    return body;
}

inline TestHttpServer::Resource resource(const QByteArray &body, const QByteArray &etag = "\"v1\"",
                                         const QByteArray &lastModified = {})
{
    TestHttpServer::Resource result;
    result.body = body;
    result.etag = etag;
    result.lastModified = lastModified;
    return result;
}

inline DownloadSpec spec(const QUrl &url, const QString &destination, int connections = 4)
{
    DownloadSpec result;
    result.id = QStringLiteral("t1");
    result.url = url;
    result.destination = destination;
    result.connections = connections;
    return result;
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The segments a checkpoint on disk records; empty when there is none.
inline QList<SegmentProgress> checkpointSegments(const QString &destination)
{
    const QJsonObject object =
        QJsonDocument::fromJson(readFile(destination + QStringLiteral(".rushlet.json"))).object();
    QList<SegmentProgress> segments;
    for (const QJsonValue &value : object.value(QStringLiteral("segments")).toArray()) {
        const QJsonObject segment = value.toObject();
        segments.append({segment.value(QStringLiteral("start")).toString().toLongLong(),
                         segment.value(QStringLiteral("end")).toString().toLongLong(),
                         segment.value(QStringLiteral("received")).toString().toLongLong()});
    }
    return segments;
}

inline qint64 receivedOf(const QList<SegmentProgress> &segments)
{
    qint64 sum = 0;
    for (const SegmentProgress &segment : segments)
        sum += segment.received;
    return sum;
}

// True when every byte the segments claim is in the partial file and equals the served body.
inline bool claimedBytesMatch(const QList<SegmentProgress> &segments, const QByteArray &part,
                              const QByteArray &body)
{
    for (const SegmentProgress &segment : segments) {
        if (segment.start + segment.received > part.size())
            return false;
        if (part.mid(segment.start, segment.received) != body.mid(segment.start, segment.received))
            return false;
    }
    return true;
}

// The Range values of the requests other than probes, sorted.
inline QStringList segmentRanges(const QList<TestHttpServer::Request> &requests)
{
    QStringList ranges;
    for (const TestHttpServer::Request &request : requests) {
        if (request.header("Range") != "bytes=0-0")
            ranges.append(QString::fromLatin1(request.header("Range")));
    }
    ranges.sort();
    return ranges;
}

} // namespace EngineTestSupport
