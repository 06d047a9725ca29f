#include "engine/RateShare.h"

#include <algorithm>

RateShare::RateShare(qint64 bytesPerSecond)
    : rate(std::max<qint64>(0, bytesPerSecond))
{
}

void RateShare::set(qint64 bytesPerSecond)
{
    rate.store(std::max<qint64>(0, bytesPerSecond), std::memory_order_relaxed);
}
