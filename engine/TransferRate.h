#pragma once

#include <QtGlobal>

// The speed a download shows. A server that limits its rate sends in bursts, so the bytes of one
// progress tick say little: most ticks bring nothing and the next brings a second's worth. The
// shown speed is a time-weighted average over the last few seconds instead, which a remaining
// time can be computed from.
namespace TransferRate {

// The time constant of the average: what arrived this long ago weighs 1/e of what arrives now.
inline constexpr qint64 averagingMs = 3000;

// The running average; a default one has seen nothing yet.
struct Average
{
    double bytesPerSecond = 0;
    // How much of the average rests on measured time (0 to 1). Until it nears 1 the average
    // covers only the time since the transfer began, so the first tick counts in full.
    double weight = 0;
};

// The average after a tick of `elapsedMs` in which `bytes` arrived. A tick without time changes
// nothing.
Average advance(const Average &average, qint64 bytes, qint64 elapsedMs);

// The speed to show: the average, or 0 once less than a byte a second arrives.
double shownSpeed(const Average &average);

} // namespace TransferRate
