#pragma once

#include "engine/DownloadSnapshot.h"

#include <QObject>
#include <QThread>

// One download of the list: the state its engine last reported (or that was read back from
// queue.json) and the worker thread its engine lives in. The engine is held as a plain QObject
// because the list only ever reaches it by name: the slots "start" and "pause" and the signal
// "updated". Both pointers are null once the engine has been stopped for good.
struct QueueEntry
{
    DownloadSnapshot snapshot;
    QThread *thread = nullptr;
    QObject *engine = nullptr;
};
