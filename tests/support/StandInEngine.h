#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"

#include <QObject>

#include <atomic>

// An engine that keeps the list's side of the contract (start, pause, updated) without touching
// the network. It moves through "Connecting" and "Downloading" on start, and on pause writes a
// checkpoint stand-in beside the destination before it reports "Paused", taking its time so that
// a caller that does not wait for the pause is caught.
class StandInEngine : public QObject
{
    Q_OBJECT

public:
    explicit StandInEngine(DownloadSpec spec);
    ~StandInEngine() override;

    static QString checkpointPath(const QString &destination);

    // Engines alive right now, and engines that were destroyed outside their own thread.
    static inline std::atomic<int> alive = 0;
    static inline std::atomic<int> destroyedElsewhere = 0;

    // A pause waits (for a bounded time) until this many are under way at once, so that pauses run
    // one after another show as never more than one at a time.
    static inline std::atomic<int> pausesToMeet = 1;
    static inline std::atomic<int> mostPausesAtOnce = 0;

    std::atomic<int> starts = 0;
    std::atomic<int> pauses = 0;

signals:
    void updated(const DownloadSnapshot &snapshot);

public slots:
    void start();
    void pause();
    // Reports more bytes without a change of status.
    void advance(qint64 bytes);
    void complete();

private:
    void publish();

    DownloadSnapshot state;
};
