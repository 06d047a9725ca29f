#pragma once

#include <QtGlobal>

// Bytes that may be read: they accrue at a rate, up to a small burst, and every read takes what
// it used. Time is given in nanoseconds of a monotonic clock, so that the arithmetic can be
// followed without one.
class TokenBucket
{
public:
    // The rate from `nowNs` on. Bytes already saved up stay, within the new burst; a bucket that
    // starts pacing starts with one quantum, so that reading begins at once.
    void setRate(qint64 bytesPerSecond, qint64 nowNs);
    qint64 rate() const { return bytesPerSecond; }

    // Adds what accrued since the last call.
    void refill(qint64 nowNs);
    // Whole bytes that may be read now.
    qint64 available() const;
    void take(qint64 bytes);

    // How much is worth waking up for: about a sixteenth of a second's worth, at least 1 KiB and at
    // most 256 KiB, but never more than one second's worth.
    qint64 quantum() const;
    // The most that can be saved up: two quanta, or an eighth of a second's worth (at most 2 MiB)
    // when that is more, so that a quiet moment is never made up for by a long burst.
    qint64 burst() const;
    // Nanoseconds until a quantum is available; 0 when it is.
    qint64 nanosecondsUntilQuantum() const;

private:
    qint64 bytesPerSecond = 0;
    // A double keeps the fractions of a byte that accrue between two refills.
    double tokens = 0;
    qint64 lastNs = 0;
};
