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

// Byte offsets mean something only in an unencoded body.
bool isIdentityEncoding(const QByteArray &contentEncoding);

// The statuses worth asking again for: the server may well answer the same request later.
bool isRetryableStatus(int status);

// Cuts `total` bytes into at most `connections` contiguous ranges of nearly equal size, the last one
// taking the remainder. Without range support, or when the size is unknown or zero, there is one
// range from 0 to total - 1.
QList<Segment> planSegments(qint64 total, bool rangeSupported, int connections);

} // namespace DownloadRules
