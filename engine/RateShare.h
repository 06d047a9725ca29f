#pragma once

#include <QtGlobal>

#include <atomic>

// How many bytes per second one engine may read from its connections right now; 0 for no limit.
// The owner of the download (the list, the command line) writes it from its thread whenever the
// limits or the set of running downloads change; the engine reads it on its own thread as it
// paces its reads. A single atomic value is all the two threads share.
class RateShare
{
public:
    explicit RateShare(qint64 bytesPerSecond = 0);

    void set(qint64 bytesPerSecond);
    qint64 bytesPerSecond() const { return rate.load(std::memory_order_relaxed); }

private:
    std::atomic<qint64> rate;
};
