#include "tests/engine/EngineHarness.h"

#include "engine/DownloadMetaTypes.h"

#include <QTest>

EngineHarness::EngineHarness(const DownloadSpec &spec)
    : engine(new DownloadEngine(spec))
{
    registerDownloadMetaTypes();
    clock.start();
    thread.setObjectName(QStringLiteral("Download-%1").arg(spec.id));
    engine->moveToThread(&thread);
    connect(&thread, &QThread::finished, engine, &QObject::deleteLater);
    // Stamped when the engine publishes, so that a busy test thread does not skew measured delays.
    connect(
        engine, &DownloadEngine::updated, engine,
        [this](const DownloadSnapshot &snapshot) {
            const Record record{snapshot, clock.elapsed()};
            QMetaObject::invokeMethod(
                this, [this, record] { history.append(record); }, Qt::QueuedConnection);
        },
        Qt::DirectConnection);
    thread.start();
}

EngineHarness::~EngineHarness()
{
    QMetaObject::invokeMethod(engine, "pause", Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void EngineHarness::start()
{
    QMetaObject::invokeMethod(engine, "start", Qt::QueuedConnection);
}

void EngineHarness::pause()
{
    QMetaObject::invokeMethod(engine, "pause", Qt::BlockingQueuedConnection);
    // The snapshot of the pause was queued before the call returned.
    QCoreApplication::processEvents();
}

void EngineHarness::pauseLater()
{
    QMetaObject::invokeMethod(engine, "pause", Qt::QueuedConnection);
}

QStringList EngineHarness::statuses() const
{
    QStringList result;
    for (const Record &record : history) {
        if (result.isEmpty() || result.last() != record.snapshot.status)
            result.append(record.snapshot.status);
    }
    return result;
}

int EngineHarness::waitFor(const std::function<bool(const DownloadSnapshot &)> &condition, int timeoutMs,
                           int from)
{
    int found = -1;
    int checked = from;
    const bool satisfied = QTest::qWaitFor(
        [&] {
            for (; checked < history.size(); ++checked) {
                if (condition(history.at(checked).snapshot)) {
                    found = checked;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return satisfied ? found : -1;
}

int EngineHarness::waitForStatus(const QString &status, int timeoutMs, int from)
{
    return waitFor([&](const DownloadSnapshot &snapshot) { return snapshot.status == status; }, timeoutMs,
                   from);
}

void EngineHarness::settle(int ms)
{
    QTest::qWait(ms);
}
