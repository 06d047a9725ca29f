#include "queue/list/QueueRules.h"

#include "engine/DownloadStatus.h"
#include "engine/RequestContextRules.h"
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
const QString keyContext = QStringLiteral("context");
const QString keyStatus = QStringLiteral("status");
const QString keyError = QStringLiteral("error");
const QString keyReceived = QStringLiteral("received");
const QString keyTotal = QStringLiteral("total");
const QString keyResumable = QStringLiteral("resumable");
const QString keySegments = QStringLiteral("segments");
const QString keyStart = QStringLiteral("start");
const QString keyEnd = QStringLiteral("end");
const QString keyChecksum = QStringLiteral("checksum");
const QString keyLimit = QStringLiteral("limit");

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

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

qsizetype skipSpace(const QByteArray &document, qsizetype at)
{
    while (at < document.size() && isJsonSpace(document.at(at)))
        ++at;
    return at;
}

// Where the array element that starts at `from` ends: the comma or closing bracket after it,
// outside strings and nested brackets. The element itself is not checked here. The document's
// size when it ends first.
qsizetype elementEnd(const QByteArray &document, qsizetype from)
{
    int depth = 0;
    bool inString = false;
    for (qsizetype at = from; at < document.size(); ++at) {
        const char c = document.at(at);
        if (inString) {
            if (c == '\\')
                ++at;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0)
                return at;
            --depth;
        } else if (c == ',' && depth == 0) {
            return at;
        }
    }
    return document.size();
}

// Hands every element of a JSON array document to `take`, in order. False, after some elements
// may have been handed over, when the document is not one well-formed JSON array; whitespace
// and a byte-order mark around it are allowed, as QJsonDocument allows them.
template <typename Take>
bool forEachElement(const QByteArray &document, Take take)
{
    qsizetype at = document.startsWith("\xef\xbb\xbf") ? 3 : 0;
    at = skipSpace(document, at);
    if (at >= document.size() || document.at(at) != '[')
        return false;
    at = skipSpace(document, at + 1);
    if (at < document.size() && document.at(at) == ']')
        return skipSpace(document, at + 1) == document.size();
    for (;;) {
        const qsizetype end = elementEnd(document, at);
        if (end >= document.size() || document.at(end) == '}')
            return false;
        // Wrapped in an array, so that any JSON value parses and nothing but one value does.
        QJsonParseError error;
        const QJsonDocument element = QJsonDocument::fromJson('[' + document.mid(at, end - at) + ']', &error);
        if (error.error != QJsonParseError::NoError || element.array().size() != 1)
            return false;
        take(element.array().first());
        at = end + 1;
        if (document.at(end) == ']')
            return skipSpace(document, at) == document.size();
    }
}

// The browser's context as an object nested in the entry, laid out as QJsonDocument::Indented
// lays it out at that depth.
void appendContext(QByteArray &out, const RequestContext &context)
{
    QByteArray nested = QJsonDocument(RequestContextRules::toJson(context)).toJson(QJsonDocument::Indented);
    nested.chop(1);
    nested.replace("\n", "\n        ");
    out += nested;
}

// Only a download still to be fetched needs the browser's session; a completed one keeps no secret.
bool keepsContext(const DownloadSnapshot &snapshot)
{
    return !snapshot.context.isEmpty() && snapshot.status != DownloadStatus::Completed;
}

// A known status read from the file shares the program's own text, so that a long list does not
// hold one copy of "Completed" per download.
QString sharedStatus(const QString &stored)
{
    for (const QString *known :
         {&DownloadStatus::Queued, &DownloadStatus::Connecting, &DownloadStatus::Downloading,
          &DownloadStatus::Retrying, &DownloadStatus::Verifying, &DownloadStatus::Paused,
          &DownloadStatus::Completed, &DownloadStatus::Error, &DownloadStatus::AwaitingConfirmation}) {
        if (stored == *known)
            return *known;
    }
    return stored;
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
           status == DownloadStatus::Retrying || status == DownloadStatus::Verifying;
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
    snapshot.status = status.isString() ? sharedStatus(status.toString()) : DownloadStatus::Paused;
    snapshot.total = countFromJson(object.value(keyTotal));
    snapshot.received = countFromJson(object.value(keyReceived));
    snapshot.resumable = object.value(keyResumable).toBool(false);
    snapshot.error = object.value(keyError).toString();
    // A context that breaks the browser's own rules is dropped whole: nothing of it reaches a request.
    if (const QJsonValue context = object.value(keyContext); context.isObject())
        RequestContextRules::read(context.toObject(), RequestContextRules::Numbers::DecimalStrings,
                                  &snapshot.context);
    // Both are optional: a list written before them reads as unchecked and unlimited.
    snapshot.checksum = object.value(keyChecksum).toString();
    snapshot.speedLimit = std::max<qint64>(0, countFromJson(object.value(keyLimit)));
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
    QList<const DownloadSnapshot *> listed;
    listed.reserve(snapshots.size());
    for (const DownloadSnapshot &snapshot : snapshots)
        listed.append(&snapshot);
    return writeQueue(listed);
}

QByteArray writeQueue(const QList<const DownloadSnapshot *> &snapshots)
{
    QByteArray out;
    out.reserve(snapshots.size() * typicalEntryBytes + 4);
    out += "[\n";
    for (qsizetype i = 0; i < snapshots.size(); ++i) {
        const DownloadSnapshot &snapshot = *snapshots.at(i);
        const QString status = isActiveStatus(snapshot.status) ? DownloadStatus::Paused : snapshot.status;
        out += "    {\n";
        if (!snapshot.checksum.isEmpty()) {
            appendKey(out, keyChecksum, 2);
            appendString(out, snapshot.checksum);
            out += ",\n";
        }
        appendKey(out, keyConnections, 2);
        out += QByteArray::number(snapshot.connections) + ",\n";
        if (keepsContext(snapshot)) {
            appendKey(out, keyContext, 2);
            appendContext(out, snapshot.context);
            out += ",\n";
        }
        appendKey(out, keyDestination, 2);
        appendString(out, snapshot.destination);
        out += ",\n";
        appendKey(out, keyError, 2);
        appendString(out, snapshot.error);
        out += ",\n";
        appendKey(out, keyId, 2);
        appendString(out, snapshot.id);
        out += ",\n";
        if (snapshot.speedLimit > 0) {
            appendKey(out, keyLimit, 2);
            appendCount(out, snapshot.speedLimit);
            out += ",\n";
        }
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
    // The elements are parsed one at a time: a long list parsed whole would need three times its
    // text in memory next to the downloads built from it.
    QueueReadResult result;
    QSet<QString> ids;
    QSet<QString> destinations;
    const bool wellFormed = forEachElement(document, [&](const QJsonValue &value) {
        DownloadSnapshot snapshot = entryFromJson(value.toObject());
        if (snapshot.id.isEmpty() || ids.contains(snapshot.id))
            return;
        if (snapshot.destination.isEmpty() || QDir::isRelativePath(snapshot.destination))
            return;
        // Two engines on one destination would write into the same partial file.
        const QString key = destinationKey(snapshot.destination);
        if (destinations.contains(key))
            return;
        ids.insert(snapshot.id);
        destinations.insert(key);
        result.snapshots.append(std::move(snapshot));
    });
    if (!wellFormed)
        return {};
    result.readable = true;
    return result;
}

DownloadSnapshot repairAgainstDisk(DownloadSnapshot snapshot)
{
    const QFileInfo destination(snapshot.destination);
    if (snapshot.status == DownloadStatus::Completed) {
        snapshot.context = RequestContext();
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
