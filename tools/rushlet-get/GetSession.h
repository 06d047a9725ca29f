#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"

#include <QObject>
#include <QString>

class DownloadEngine;
class QThread;

// One download run from the command line the way the window runs it: its engine in a worker
// thread, commands as queued invocations and state back as snapshots. It writes progress and
// messages to standard error and reports the exit code once, for whichever ending came first:
// completion, failure, or a pause asked for by a signal.
class GetSession : public QObject
{
    Q_OBJECT

public:
    enum class Progress
    {
        None,
        Lines,  // a line for each change of status and each tenth of the file
        InPlace // one line redrawn on a terminal
    };

    struct Output
    {
        Progress progress = Progress::None;
        bool notices = true; // retry notices and the pause's advice; errors are always written
    };

    GetSession(const DownloadSpec &spec, Output output, QObject *parent = nullptr);
    ~GetSession() override;

    void start();
    // Pauses the engine (its checkpoint is on disk when this returns) and ends with the signal's
    // code, unless the download had already completed or failed before the pause reached it.
    void stopForSignal(int signalNumber);

signals:
    void finished(int exitCode);

private:
    void onUpdated(const DownloadSnapshot &snapshot);
    void showProgress(const DownloadSnapshot &snapshot);
    void drawProgressLine();
    void writeNotice(const QString &text);
    void endProgressLine();
    void finish(int exitCode);

    Output output;
    QThread *thread;
    DownloadEngine *engine;
    DownloadSnapshot last;
    QString progressLine;
    QString lastLinesKey;
    QString lastNotice;
    bool lineOpen = false;
    int interruptingSignal = 0;
    // Set once the engine has taken the pause: later snapshots are the pause's own.
    bool pauseReached = false;
    bool done = false;
};
