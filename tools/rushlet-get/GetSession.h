#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"

#include <QObject>
#include <QString>

class DownloadEngine;
class QThread;

// One download run from the command line the way the window runs it: its engine in a worker
// thread, commands as queued invocations and state back as snapshots. It writes progress to
// standard error and reports the exit code when the download ends or is paused by a signal.
class GetSession : public QObject
{
    Q_OBJECT

public:
    enum class Progress
    {
        None,
        Lines,
        InPlace
    };

    GetSession(const DownloadSpec &spec, Progress progress, QObject *parent = nullptr);
    ~GetSession() override;

    void start();
    // Pauses the engine (its checkpoint is on disk when this returns) and ends with the signal's code.
    void stopForSignal(int signalNumber);

signals:
    void finished(int exitCode);

private:
    void onUpdated(const DownloadSnapshot &snapshot);
    void show(const DownloadSnapshot &snapshot);
    void finish(int exitCode);

    Progress progress;
    QThread *thread;
    DownloadEngine *engine;
    QString lastShown;
    bool lineOpen = false;
    bool stopping = false;
    bool done = false;
};
