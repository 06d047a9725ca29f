#include "engine/TokenBucket.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 nanosecondsPerSecond = 1000000000;
constexpr qint64 smallestQuantum = 1024;
constexpr qint64 largestQuantum = 262144;

} // namespace

void TokenBucket::setRate(qint64 rate, qint64 nowNs)
{
    if (rate == bytesPerSecond)
        return;
    const bool starting = bytesPerSecond <= 0;
    if (!starting)
        refill(nowNs);
    bytesPerSecond = std::max<qint64>(0, rate);
    lastNs = nowNs;
    tokens = starting ? double(quantum()) : std::min(tokens, double(burst()));
}

void TokenBucket::refill(qint64 nowNs)
{
    if (bytesPerSecond <= 0 || nowNs <= lastNs)
        return;
    const double accrued = double(nowNs - lastNs) * double(bytesPerSecond) / double(nanosecondsPerSecond);
    tokens = std::min(tokens + accrued, double(burst()));
    lastNs = nowNs;
}

qint64 TokenBucket::available() const
{
    return tokens > 0 ? qint64(std::floor(tokens)) : 0;
}

void TokenBucket::take(qint64 bytes)
{
    tokens -= double(bytes);
}

qint64 TokenBucket::quantum() const
{
    return std::min(std::clamp(bytesPerSecond / 16, smallestQuantum, largestQuantum), bytesPerSecond);
}

qint64 TokenBucket::burst() const
{
    return std::max(2 * quantum(), std::min(bytesPerSecond / 8, 8 * largestQuantum));
}

qint64 TokenBucket::nanosecondsUntilQuantum() const
{
    const double missing = double(quantum()) - tokens;
    if (missing <= 0 || bytesPerSecond <= 0)
        return 0;
    return qint64(std::ceil(missing * double(nanosecondsPerSecond) / double(bytesPerSecond)));
}
