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
