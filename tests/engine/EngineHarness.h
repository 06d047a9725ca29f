#pragma once

#include "engine/DownloadEngine.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTest>
#include <QThread>

#include <functional>
#include <memory>

// Runs one engine in a worker thread of its own, as the download list does, and records every
// snapshot it publishes together with the time it arrived in the test's thread.
class EngineHarness : public QObject
{
    Q_OBJECT

public:
    struct Record
    {
        DownloadSnapshot snapshot;
        qint64 atMs = 0;
    };

    explicit EngineHarness(const DownloadSpec &spec);
    ~EngineHarness() override;

    void start();
    // Blocks until the engine's pause has returned, as the list does before ending a thread.
    void pause();
    // Asks for a pause without waiting for it.
    void pauseLater();

    const QList<Record> &records() const { return history; }
    DownloadSnapshot last() const { return history.isEmpty() ? DownloadSnapshot() : history.last().snapshot; }
    QStringList statuses() const;
    // Waits until a snapshot at or after `from` satisfies the condition; its index, or -1.
    int waitFor(const std::function<bool(const DownloadSnapshot &)> &condition, int timeoutMs = 30000,
                int from = 0);
    int waitForStatus(const QString &status, int timeoutMs = 30000, int from = 0);
    // Lets queued snapshots arrive without waiting for anything in particular.
    void settle(int ms);

private:
    QThread thread;
    DownloadEngine *engine;
    QElapsedTimer clock;
    QList<Record> history;
};

// The fresh home, test server and destination file each engine test function starts from; QTest
// runs this base's init() and cleanup() around every function of the test derived from it.
class EngineTestCase : public QObject
{
    Q_OBJECT

protected:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<TestHttpServer> server;
    QString destination;

private slots:
    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->start());
        // In a folder that is not there yet: the engine makes it.
        destination = environment->scratch() + QStringLiteral("/sub/file.bin");
    }
    void cleanup()
    {
        server.reset();
        environment.reset();
    }
};
