#include "tests/support/StandInEngine.h"

#include "engine/DownloadStatus.h"
#include "queue/list/QueueRules.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

constexpr qint64 plannedSize = 1000;
// Long enough that a caller which does not wait for the pause sees no checkpoint yet.
constexpr int pauseWorkMs = 300;
constexpr int meetingLimitMs = 5000;

std::atomic<int> pausing = 0;

} // namespace

StandInEngine::StandInEngine(DownloadSpec spec)
{
    state.id = spec.id;
    state.url = spec.url;
    state.destination = spec.destination;
    state.connections = spec.connections;
    ++alive;
}

StandInEngine::~StandInEngine()
{
    --alive;
    if (QThread::currentThread() != thread())
        ++destroyedElsewhere;
}

QString StandInEngine::checkpointPath(const QString &destination)
{
    return destination + QStringLiteral(".rushlet.json");
}

void StandInEngine::start()
{
    ++starts;
    state.status = DownloadStatus::Connecting;
    publish();
    state.status = DownloadStatus::Downloading;
    state.total = plannedSize;
    state.segments = {SegmentProgress{0, plannedSize - 1, 0}};
    publish();
}

void StandInEngine::pause()
{
    ++pauses;
    if (!QueueRules::isActiveStatus(state.status))
        return;
    const int together = ++pausing;
    for (int most = mostPausesAtOnce;
         together > most && !mostPausesAtOnce.compare_exchange_weak(most, together);) {
    }
    const QDeadlineTimer meeting(meetingLimitMs);
    while (pausing < pausesToMeet && !meeting.hasExpired())
        QThread::msleep(10);
    QThread::msleep(pauseWorkMs);
    --pausing;
    QFile checkpoint(checkpointPath(state.destination));
    if (checkpoint.open(QIODevice::WriteOnly))
        checkpoint.write(QByteArray::number(state.received));
    state.status = DownloadStatus::Paused;
    publish();
}

void StandInEngine::advance(qint64 bytes)
{
    state.segments.first().received += bytes;
    publish();
}

void StandInEngine::complete()
{
    state.segments.first().received = plannedSize;
    state.status = DownloadStatus::Completed;
    publish();
}

void StandInEngine::publish()
{
    state.received = 0;
    for (const SegmentProgress &segment : state.segments)
        state.received += segment.received;
    emit updated(state);
}
