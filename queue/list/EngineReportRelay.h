#pragma once

#include "engine/DownloadSnapshot.h"

#include <QObject>

// Receives one engine's reports on the GUI thread and passes them on. It is a child of the
// engine's thread object, so when a download's engine is stopped for good the relay goes with
// the thread, and reports still queued from that engine are discarded by Qt instead of reaching
// whatever entry holds the id next.
class EngineReportRelay : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void reported(const DownloadSnapshot &snapshot);

public slots:
    void relay(const DownloadSnapshot &snapshot) { emit reported(snapshot); }
};
