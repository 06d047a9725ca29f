#include "tools/rushlet-get/GetSession.h"

#include "engine/DownloadEngine.h"
#include "tools/rushlet-get/GetCommand.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

namespace {

void writeError(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

GetSession::GetSession(const DownloadSpec &spec, Progress progress, QObject *parent)
    : QObject(parent)
    , progress(progress)
    , thread(new QThread(this))
    , engine(new DownloadEngine(spec))
{
    thread->setObjectName(QStringLiteral("Download-%1").arg(spec.id));
    engine->moveToThread(thread);
    connect(thread, &QThread::finished, engine, &QObject::deleteLater);
    connect(engine, &DownloadEngine::updated, this, &GetSession::onUpdated);
}

GetSession::~GetSession()
{
    if (thread->isRunning()) {
        thread->quit();
        thread->wait();
    }
}

void GetSession::start()
{
    thread->start();
    QMetaObject::invokeMethod(engine, "start", Qt::QueuedConnection);
}

void GetSession::stopForSignal(int signalNumber)
{
    if (done)
        return;
    stopping = true;
    QMetaObject::invokeMethod(engine, "pause", Qt::BlockingQueuedConnection);
    // The pause's own snapshot is still on its way; the state it reports is what the user sees last.
    QCoreApplication::sendPostedEvents(this);
    finish(GetCommand::exitCodeForSignal(signalNumber));
}

void GetSession::onUpdated(const DownloadSnapshot &snapshot)
{
    if (done)
        return;
    show(snapshot);
    if (snapshot.status == DownloadStatus::Completed) {
        finish(GetCommand::exitCompleted);
    } else if (snapshot.status == DownloadStatus::Error) {
        writeError(snapshot.error + QLatin1Char('\n'));
        // A pause whose checkpoint failed is still the end of an interrupted run.
        if (!stopping)
            finish(GetCommand::exitFailed);
    }
}

void GetSession::show(const DownloadSnapshot &snapshot)
{
    if (progress == Progress::None)
        return;
    if (progress == Progress::InPlace) {
        writeError(QLatin1Char('\r') + GetCommand::formatProgress(snapshot) + QStringLiteral("\x1b[K"));
        lineOpen = true;
        return;
    }
    // Without a terminal, one line per change of status (or of the reason a retry waits for).
    const QString key = snapshot.status + QLatin1Char('\n') + snapshot.error;
    if (key == lastShown)
        return;
    lastShown = key;
    writeError(GetCommand::formatProgress(snapshot) + QLatin1Char('\n'));
}

void GetSession::finish(int exitCode)
{
    done = true;
    if (lineOpen) {
        writeError(QStringLiteral("\n"));
        lineOpen = false;
    }
    thread->quit();
    thread->wait();
    emit finished(exitCode);
}
