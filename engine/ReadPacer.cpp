#include "engine/ReadPacer.h"

#include "engine/RateShare.h"

#include <QTimer>

#include <algorithm>

namespace {

// A raised limit must not wait for a wake-up that the old one planned.
constexpr qint64 longestWaitMs = 100;

} // namespace

ReadPacer::ReadPacer(std::shared_ptr<const RateShare> share, std::function<void()> serve, QObject *parent)
    : QObject(parent)
    , share(std::move(share))
    , serve(std::move(serve))
    , timer(new QTimer(this))
{
    clock.start();
    timer->setSingleShot(true);
    // Reads are planned a few milliseconds ahead; a coarse timer could be late by more than that.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this] { this->serve(); });
}

bool ReadPacer::isPacing()
{
    const qint64 rate = share ? share->bytesPerSecond() : 0;
    bucket.setRate(rate, clock.nsecsElapsed());
    return rate > 0;
}

qint64 ReadPacer::allowance()
{
    bucket.refill(clock.nsecsElapsed());
    return bucket.available();
}

void ReadPacer::consume(qint64 bytes)
{
    bucket.take(bytes);
}

void ReadPacer::serveWhenDue()
{
    if (timer->isActive())
        return;
    bucket.refill(clock.nsecsElapsed());
    const qint64 waitNs = bucket.nanosecondsUntilQuantum();
    // Rounded up, so that the quantum is there when the timer fires.
    timer->start(int(std::clamp<qint64>((waitNs + 999999) / 1000000, 0, longestWaitMs)));
}

void ReadPacer::stop()
{
    timer->stop();
}
