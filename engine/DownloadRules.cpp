#include "engine/DownloadRules.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>

namespace DownloadRules {

ContentRange parseContentRange(const QByteArray &header)
{
    static const QRegularExpression pattern(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header));
    if (!match.hasMatch())
        return {};
    bool startOk = false;
    bool endOk = false;
    bool totalOk = false;
    const qint64 start = match.capturedView(1).toLongLong(&startOk);
    const qint64 end = match.capturedView(2).toLongLong(&endOk);
    const qint64 total = match.capturedView(3).toLongLong(&totalOk);
    if (!startOk || !endOk || !totalOk || start > end || end >= total)
        return {};
    return {start, end, total};
}

qint64 parseContentLength(const QByteArray &header)
{
    if (header.isEmpty() ||
        !std::all_of(header.begin(), header.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    bool ok = false;
    const qint64 value = header.toLongLong(&ok);
    return ok ? value : -1;
}

ProbeResult readProbeAnswer(const ProbeAnswer &answer)
{
    ProbeResult result;
    // An empty resource cannot satisfy even a one-byte range.
    if (answer.status == 416 && answer.contentRange == "bytes */0") {
        result.verdict = ProbeResult::Verdict::Accepted;
        result.total = 0;
        return result;
    }
    if (answer.status != 200 && answer.status != 206)
        return result;
    if (!isIdentityEncoding(answer.contentEncoding)) {
        result.verdict = ProbeResult::Verdict::Encoded;
        return result;
    }
    if (answer.status == 206) {
        const ContentRange range = parseContentRange(answer.contentRange);
        if (range.start != 0 || range.end != 0 || range.total <= 0) {
            result.verdict = ProbeResult::Verdict::InvalidRange;
            return result;
        }
        result.total = range.total;
        result.rangeSupported = true;
    } else {
        result.total = parseContentLength(answer.contentLength);
    }
    result.verdict = ProbeResult::Verdict::Accepted;
    result.versionTag = answer.etag;
    // A weak validator cannot guard a resume.
    if (!answer.etag.startsWith("W/"))
        result.etag = answer.etag;
    result.lastModified = answer.lastModified;
    return result;
}

bool isIdentityEncoding(const QByteArray &contentEncoding)
{
    const QByteArray value = contentEncoding.trimmed().toLower();
    return value.isEmpty() || value == "identity";
}

bool isRetryableStatus(int status)
{
    switch (status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
        return true;
    default:
        return false;
    }
}

QList<Segment> planSegments(qint64 total, bool rangeSupported, int connections)
{
    QList<Segment> plan;
    if (!rangeSupported || total <= 0) {
        plan.append(Segment{0, total - 1});
        return plan;
    }
    const qint64 count = std::min<qint64>(std::max(connections, 1), total);
    const qint64 size = total / count;
    plan.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        plan.append(Segment{i * size, i + 1 == count ? total - 1 : (i + 1) * size - 1});
    return plan;
}

} // namespace DownloadRules
