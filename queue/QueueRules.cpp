#include "queue/QueueRules.h"

#include "engine/DownloadStatus.h"
#include "platform/FileNames.h"

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
// Enough for a finished download with one segment, so that most lists are written without growing
// the buffer.
constexpr qsizetype typicalEntryBytes = 640;
constexpr int minConnections = 1;
constexpr int maxConnections = 16;

qint64 countFromJson(const QJsonValue &value)
{
    if (!value.isString())
        return 0;
    bool ok = false;
    const qint64 count = value.toString().toLongLong(&ok);
    return ok ? count : 0;
}

void appendKey(QByteArray &out, const QString &key, int depth)
{
    out.append(depth * 4, ' ');
    out += '"' + key.toLatin1() + "\": ";
}

void appendUnicodeEscape(QByteArray &out, char16_t unit)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hexDigits[(unit >> shift) & 0xf];
}

// A JSON string in UTF-8, escaped as QJsonDocument escapes it: quotes, backslashes and control
// characters, and the lone half of a surrogate pair, which has no UTF-8 form.
void appendString(QByteArray &out, QStringView text)
{
    out += '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit >= 0x20 && unit < 0x80) {
            if (unit == u'"' || unit == u'\\')
                out += '\\';
            out += char(unit);
        } else if (unit < 0x20) {
            switch (unit) {
            case u'\b':
                out += "\\b";
                break;
            case u'\f':
                out += "\\f";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\t':
                out += "\\t";
                break;
            default:
                appendUnicodeEscape(out, unit);
            }
        } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(unit, text[++i].unicode());
            out += char(0xf0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3f));
            out += char(0x80 | ((code >> 6) & 0x3f));
            out += char(0x80 | (code & 0x3f));
        } else if (QChar::isSurrogate(unit)) {
            appendUnicodeEscape(out, unit);
        } else if (unit < 0x800) {
            out += char(0xc0 | (unit >> 6));
            out += char(0x80 | (unit & 0x3f));
        } else {
            out += char(0xe0 | (unit >> 12));
            out += char(0x80 | ((unit >> 6) & 0x3f));
            out += char(0x80 | (unit & 0x3f));
        }
    }
    out += '"';
}

// Byte counts travel as decimal strings so that no reader rounds them through a double.
void appendCount(QByteArray &out, qint64 count)
{
    out += '"' + QByteArray::number(count) + '"';
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

// Written by hand rather than through QJsonDocument, which needs a good part of a second for a
// list of 10,000 downloads; the layout is the one QJsonDocument::Indented gives, keys in order.
QByteArray writeQueue(const QList<DownloadSnapshot> &snapshots)
{
    QByteArray out;
    out.reserve(snapshots.size() * typicalEntryBytes + 4);
    out += "[\n";
    for (qsizetype i = 0; i < snapshots.size(); ++i) {
        const DownloadSnapshot &snapshot = snapshots.at(i);
        const QString status = isActiveStatus(snapshot.status) ? DownloadStatus::Paused : snapshot.status;
        out += "    {\n";
        appendKey(out, keyConnections, 2);
        out += QByteArray::number(snapshot.connections) + ",\n";
        appendKey(out, keyDestination, 2);
        appendString(out, snapshot.destination);
        out += ",\n";
        appendKey(out, keyError, 2);
        appendString(out, snapshot.error);
        out += ",\n";
        appendKey(out, keyId, 2);
        appendString(out, snapshot.id);
        out += ",\n";
        appendKey(out, keyReceived, 2);
        appendCount(out, snapshot.received);
        out += ",\n";
        appendKey(out, keyResumable, 2);
        out += snapshot.resumable ? "true,\n" : "false,\n";
        appendKey(out, keySegments, 2);
        out += "[\n";
        for (qsizetype j = 0; j < snapshot.segments.size(); ++j) {
            const SegmentProgress &segment = snapshot.segments.at(j);
            out += "            {\n";
            appendKey(out, keyEnd, 4);
            appendCount(out, segment.end);
            out += ",\n";
            appendKey(out, keyReceived, 4);
            appendCount(out, segment.received);
            out += ",\n";
            appendKey(out, keyStart, 4);
            appendCount(out, segment.start);
            out += j + 1 < snapshot.segments.size() ? "\n            },\n" : "\n            }\n";
        }
        out += "        ],\n";
        appendKey(out, keyStatus, 2);
        appendString(out, status);
        out += ",\n";
        appendKey(out, keyTotal, 2);
        appendCount(out, snapshot.total);
        out += ",\n";
        appendKey(out, keyUrl, 2);
        appendString(out, QString::fromLatin1(snapshot.url.toEncoded(QUrl::FullyEncoded)));
        out += i + 1 < snapshots.size() ? "\n    },\n" : "\n    }\n";
    }
    out += "]\n";
    return out;
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
    const QString cleaned = QDir::cleanPath(path);
    return FileNames::caseSensitive() ? cleaned : cleaned.toCaseFolded();
}

bool sameDestination(const QString &first, const QString &second)
{
    return destinationKey(first) == destinationKey(second);
}

} // namespace QueueRules
