#include "tools/rushlet-get/GetSession.h"

#include "engine/DownloadEngine.h"
#include "platform/Terminal.h"
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

// Moves to the start of the line and clears it, so that a shorter line leaves nothing behind.
const QString clearLine = QStringLiteral("\r\x1b[K");

} // namespace

GetSession::GetSession(const DownloadSpec &spec, Output output, QObject *parent)
    : QObject(parent)
    , output(output)
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
    if (done || interruptingSignal != 0)
        return;
    interruptingSignal = signalNumber;
    QMetaObject::invokeMethod(
        engine,
        [this] {
            // Posted behind every snapshot the engine published before it took the pause and
            // ahead of the pause's own: a completion or failure that came first still wins.
            QMetaObject::invokeMethod(
                this, [this] { pauseReached = true; }, Qt::QueuedConnection);
            engine->pause();
        },
        Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this);
    if (done)
        return;
    if (output.notices) {
        endProgressLine();
        writeError(GetCommand::pausedMessage(last) + QLatin1Char('\n'));
    }
    finish(GetCommand::exitCodeForSignal(signalNumber));
}

void GetSession::onUpdated(const DownloadSnapshot &snapshot)
{
    if (done)
        return;
    last = snapshot;
    showProgress(snapshot);
    if (snapshot.status == DownloadStatus::Retrying && snapshot.error != lastNotice) {
        lastNotice = snapshot.error;
        if (output.notices)
            writeNotice(snapshot.error);
    } else if (snapshot.status == DownloadStatus::Completed) {
        finish(GetCommand::exitCompleted);
    } else if (snapshot.status == DownloadStatus::Error) {
        endProgressLine();
        writeError(GetCommand::commandLineMessage(snapshot) + QLatin1Char('\n'));
        // A pause whose checkpoint failed still ends a run the signal interrupted.
        finish(pauseReached ? GetCommand::exitCodeForSignal(interruptingSignal) : GetCommand::exitFailed);
    }
}

void GetSession::showProgress(const DownloadSnapshot &snapshot)
{
    switch (output.progress) {
    case Progress::None:
        return;
    case Progress::InPlace:
        progressLine = GetCommand::formatProgress(snapshot);
        drawProgressLine();
        return;
    case Progress::Lines: {
        // A log gets a line when the status changes and at each tenth of a file of known size.
        QString key = snapshot.status;
        if (snapshot.status == DownloadStatus::Downloading && snapshot.total > 0)
            key += QString::number(snapshot.received * 10 / snapshot.total);
        if (key == lastLinesKey)
            return;
        lastLinesKey = key;
        writeError(GetCommand::formatProgress(snapshot) + QLatin1Char('\n'));
        return;
    }
    }
}

void GetSession::drawProgressLine()
{
    // A line wider than the terminal would wrap, and the carriage return would then redraw only
    // its last row.
    const int columns = Terminal::standardErrorColumns();
    writeError(clearLine + (columns > 1 ? progressLine.left(columns - 1) : progressLine));
    lineOpen = true;
}

void GetSession::writeNotice(const QString &text)
{
    if (!lineOpen) {
        writeError(text + QLatin1Char('\n'));
        return;
    }
    // Above the progress line, which is drawn again below it.
    writeError(clearLine + text + QLatin1Char('\n'));
    drawProgressLine();
}

void GetSession::endProgressLine()
{
    if (lineOpen) {
        writeError(QStringLiteral("\n"));
        lineOpen = false;
    }
}

void GetSession::finish(int exitCode)
{
    done = true;
    endProgressLine();
    thread->quit();
    thread->wait();
    emit finished(exitCode);
}
