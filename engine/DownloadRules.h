#pragma once

#include "engine/Segment.h"

#include <QByteArray>
#include <QList>

// The rules by which the engine reads a server's answers and cuts a resource into ranges.
namespace DownloadRules {

// A parsed "Content-Range: bytes start-end/total"; all three are -1 when the header is absent or
// not of that exact form.
struct ContentRange
{
    qint64 start = -1;
    qint64 end = -1;
    qint64 total = -1;

    bool operator==(const ContentRange &) const = default;
};

ContentRange parseContentRange(const QByteArray &header);

// A Content-Length of plain decimal digits; -1 for anything else.
qint64 parseContentLength(const QByteArray &header);

// Byte offsets mean something only in an unencoded body.
bool isIdentityEncoding(const QByteArray &contentEncoding);

// The final answer to the probe (a one-byte range request): its status and the headers it is read by.
struct ProbeAnswer
{
    int status = 0;
    QByteArray contentRange;
    QByteArray contentLength;
    QByteArray contentEncoding;
    QByteArray etag;
    QByteArray lastModified;
};

// What the probe's answer tells about the resource.
struct ProbeResult
{
    enum class Verdict
    {
        Accepted,
        // The body is encoded, so byte offsets into it mean nothing.
        Encoded,
        // A 206 that is not the first byte of a resource of known, non-zero size.
        InvalidRange,
        // Any other status; the engine reports it as an HTTP failure.
        Refused,
    };
    Verdict verdict = Verdict::Refused;
    qint64 total = -1; // -1 when unknown; 0 for an empty resource
    bool rangeSupported = false;
    QByteArray etag;         // strong only: what may guard a resume and go into If-Range
    QByteArray versionTag;   // the ETag as sent, weak or strong: what every reply must repeat
    QByteArray lastModified; // as sent

    bool operator==(const ProbeResult &) const = default;
};

ProbeResult readProbeAnswer(const ProbeAnswer &answer);

// The statuses worth asking again for: the server may well answer the same request later.
bool isRetryableStatus(int status);

// Cuts `total` bytes into at most `connections` contiguous ranges of nearly equal size, the last one
// taking the remainder. Without range support, or when the size is unknown or zero, there is one
// range from 0 to total - 1.
QList<Segment> planSegments(qint64 total, bool rangeSupported, int connections);

} // namespace DownloadRules
