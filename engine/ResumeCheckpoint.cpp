#include "engine/ResumeCheckpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ResumeCheckpoint {

namespace {

constexpr int version = 1;
constexpr qsizetype maximumSegments = 16;

QString decimal(qint64 value)
{
    return QString::number(value);
}

qint64 readCount(const QJsonObject &object, QLatin1StringView key)
{
    bool ok = false;
    const qint64 value = object.value(key).toString().toLongLong(&ok);
    return ok ? value : 0;
}

// A weak or absent validator cannot prove that the stored bytes are of the version on offer.
bool validatorsMatch(const Contents &stored, const QByteArray &etag, const QByteArray &lastModified)
{
    if (!etag.isEmpty())
        return stored.etag == etag;
    if (!lastModified.isEmpty())
        return stored.lastModified == lastModified;
    return false;
}

} // namespace

QByteArray toJson(const Contents &contents)
{
    QJsonArray segments;
    for (const SegmentProgress &segment : contents.segments) {
        segments.append(QJsonObject{{QStringLiteral("start"), decimal(segment.start)},
                                    {QStringLiteral("end"), decimal(segment.end)},
                                    {QStringLiteral("received"), decimal(segment.received)}});
    }
    const QJsonObject object{
        {QStringLiteral("version"), version},
        {QStringLiteral("url"), QString::fromLatin1(contents.url.toEncoded(QUrl::FullyEncoded))},
        {QStringLiteral("destination"), contents.destination},
        {QStringLiteral("total"), decimal(contents.total)},
        {QStringLiteral("etag"), QString::fromLatin1(contents.etag)},
        {QStringLiteral("modified"), QString::fromLatin1(contents.lastModified)},
        {QStringLiteral("segments"), segments},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool read(const QByteArray &json, const QUrl &url, const QString &destination, Contents *contents)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return false;
    const QJsonObject object = document.object();
    if (object.value(QLatin1StringView("version")).toInt() != version ||
        object.value(QLatin1StringView("url")).toString() !=
            QString::fromLatin1(url.toEncoded(QUrl::FullyEncoded)) ||
        object.value(QLatin1StringView("destination")).toString() != destination) {
        return false;
    }
    contents->url = url;
    contents->destination = destination;
    contents->total = readCount(object, QLatin1StringView("total"));
    contents->etag = object.value(QLatin1StringView("etag")).toString().toLatin1();
    contents->lastModified = object.value(QLatin1StringView("modified")).toString().toLatin1();
    contents->segments.clear();
    const QJsonArray segments = object.value(QLatin1StringView("segments")).toArray();
    for (const QJsonValue &value : segments) {
        const QJsonObject segment = value.toObject();
        contents->segments.append({readCount(segment, QLatin1StringView("start")),
                                   readCount(segment, QLatin1StringView("end")),
                                   readCount(segment, QLatin1StringView("received"))});
    }
    return true;
}

bool recordsFinishedDownload(const QByteArray &json, const QString &destination)
{
    // Of whichever URL it names: a new download to the same name may well fetch another one.
    const QUrl url = QUrl::fromEncoded(
        QJsonDocument::fromJson(json).object().value(QLatin1StringView("url")).toString().toLatin1());
    Contents stored;
    if (!read(json, url, destination, &stored) || stored.total < 0)
        return false;
    qint64 expectedStart = 0;
    for (const SegmentProgress &segment : std::as_const(stored.segments)) {
        if (segment.start != expectedStart || segment.received != segment.end - segment.start + 1)
            return false;
        expectedStart = segment.end + 1;
    }
    return expectedStart == stored.total;
}

QList<SegmentProgress> restorableSegments(const Contents &stored, qint64 total, bool rangeSupported,
                                          const QByteArray &etag, const QByteArray &lastModified,
                                          qint64 partSize)
{
    if (!rangeSupported || !validatorsMatch(stored, etag, lastModified) || stored.total != total)
        return {};
    if (stored.segments.isEmpty() || stored.segments.size() > maximumSegments)
        return {};
    qint64 expectedStart = 0;
    for (const SegmentProgress &segment : stored.segments) {
        if (segment.start != expectedStart || segment.end < segment.start || segment.end >= total ||
            segment.received < 0 || segment.received > segment.end - segment.start + 1 ||
            (segment.received > 0 && segment.start + segment.received > partSize)) {
            return {};
        }
        expectedStart = segment.end + 1;
    }
    if (expectedStart != total)
        return {};
    return stored.segments;
}

} // namespace ResumeCheckpoint
