#include "engine/DownloadEngine.h"

#include <algorithm>

DownloadEngine::DownloadEngine(DownloadSpec spec, QObject *parent)
    : QObject(parent)
    , id(std::move(spec.id))
    , url(std::move(spec.url))
    , destination(std::move(spec.destination))
    , connections(std::clamp(spec.connections, 1, 16))
    , partFile(new QFile(this))
{
}

void DownloadEngine::start() {}

void DownloadEngine::pause() {}

void DownloadEngine::publishSnapshot()
{
    DownloadSnapshot snapshot;
    snapshot.id = id;
    snapshot.url = url;
    snapshot.destination = destination;
    snapshot.connections = connections;
    snapshot.status = status;
    snapshot.error = error;
    snapshot.total = total;
    snapshot.resumable = resumable;
    snapshot.speed = speed;
    snapshot.segments = segments;
    snapshot.received = 0;
    for (const SegmentProgress &segment : segments)
        snapshot.received += segment.received;
    emit updated(snapshot);
}
