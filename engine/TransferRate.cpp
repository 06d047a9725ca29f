#include "engine/TransferRate.h"

#include <cmath>

namespace TransferRate {

Average advance(const Average &average, qint64 bytes, qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        return average;
    const double sample = double(std::max<qint64>(0, bytes)) * 1000.0 / double(elapsedMs);
    const double kept = std::exp(-double(elapsedMs) / double(averagingMs));
    const double oldWeight = average.weight * kept;
    const double weight = oldWeight + (1.0 - kept);
    return {(average.bytesPerSecond * oldWeight + sample * (1.0 - kept)) / weight, weight};
}

double shownSpeed(const Average &average)
{
    return average.bytesPerSecond >= 1.0 ? average.bytesPerSecond : 0.0;
}

} // namespace TransferRate
