#pragma once

#include "engine/TokenBucket.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;
class RateShare;

// Holds one engine's reads to the rate its share allows. While a limit is in force, the engine
// stops reading from its replies whenever the bucket is empty, so that the replies' buffers fill
// and the sockets' windows close; the pacer then calls the engine back once enough has accrued to
// be worth a read. The limit is read from the share at every decision, so a change takes effect at
// the next read. Lives in the engine's thread and shares nothing but the share's atomic.
class ReadPacer : public QObject
{
public:
    // `serve` reads what the replies hold, within allowance(); it is called from the pacer's timer.
    ReadPacer(std::shared_ptr<const RateShare> share, std::function<void()> serve, QObject *parent);

    // True while the share names a limit.
    bool isPacing();
    // The bytes the paced reads may take now.
    qint64 allowance();
    void consume(qint64 bytes);
    // Calls `serve` once a quantum has accrued, unless a call is already due.
    void serveWhenDue();
    void stop();

private:
    std::shared_ptr<const RateShare> share;
    std::function<void()> serve;
    TokenBucket bucket;
    QElapsedTimer clock;
    QTimer *timer;
};
