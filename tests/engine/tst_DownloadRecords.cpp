#include "engine/DownloadEngine.h"
#include "engine/DownloadMetaTypes.h"

#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace {

// Emits a snapshot from the thread it lives in, as an engine does.
class SnapshotSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void updated(const DownloadSnapshot &snapshot);
public slots:
    void send(const DownloadSnapshot &snapshot) { emit updated(snapshot); }
};

} // namespace

class TestDownloadRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerDownloadMetaTypes(); }

    void defaults()
    {
        const DownloadSpec spec;
        QVERIFY(spec.id.isEmpty());
        QVERIFY(spec.url.isEmpty());
        QVERIFY(spec.destination.isEmpty());
        QCOMPARE(spec.connections, 8);

        const DownloadSnapshot snapshot;
        QCOMPARE(snapshot.status, QStringLiteral("Queued"));
        QCOMPARE(snapshot.connections, 8);
        QCOMPARE(snapshot.total, qint64(-1));
        QCOMPARE(snapshot.received, qint64(0));
        QCOMPARE(snapshot.speed, 0.0);
        QCOMPARE(snapshot.resumable, false);
        QVERIFY(snapshot.error.isEmpty());
        QVERIFY(snapshot.segments.isEmpty());
    }

    void statusNames()
    {
        QCOMPARE(DownloadStatus::AwaitingConfirmation, QStringLiteral("Awaiting confirmation"));
        const QStringList all = {DownloadStatus::Queued,      DownloadStatus::Connecting,
                                 DownloadStatus::Downloading, DownloadStatus::Retrying,
                                 DownloadStatus::Paused,      DownloadStatus::Completed,
                                 DownloadStatus::Error,       DownloadStatus::AwaitingConfirmation};
        QCOMPARE(all, QStringList({"Queued", "Connecting", "Downloading", "Retrying", "Paused", "Completed",
                                   "Error", "Awaiting confirmation"}));
    }

    void metaTypesAreRegisteredByName()
    {
        QVERIFY(QMetaType::fromName("DownloadSpec").isValid());
        QVERIFY(QMetaType::fromName("DownloadSnapshot").isValid());
        QCOMPARE(QMetaType::fromName("DownloadSnapshot"), QMetaType::fromType<DownloadSnapshot>());
    }

    // The list reaches engines by name, so the meta-object is part of the contract.
    void engineMetaObject()
    {
        const QMetaObject &meta = DownloadEngine::staticMetaObject;
        QCOMPARE(meta.methodCount() - meta.methodOffset(), 3);
        const QMetaMethod updated = meta.method(meta.methodOffset());
        QCOMPARE(updated.methodSignature(), QByteArray("updated(DownloadSnapshot)"));
        QCOMPARE(updated.methodType(), QMetaMethod::Signal);
        QCOMPARE(updated.parameterNames(), QList<QByteArray>{"snapshot"});
        const QMetaMethod start = meta.method(meta.methodOffset() + 1);
        QCOMPARE(start.methodSignature(), QByteArray("start()"));
        QCOMPARE(start.methodType(), QMetaMethod::Slot);
        QCOMPARE(start.access(), QMetaMethod::Public);
        const QMetaMethod pause = meta.method(meta.methodOffset() + 2);
        QCOMPARE(pause.methodSignature(), QByteArray("pause()"));
        QCOMPARE(pause.methodType(), QMetaMethod::Slot);
        QCOMPARE(pause.access(), QMetaMethod::Public);
    }

    // A new engine publishes nothing until its first start.
    void pauseOnNewEngineIsIgnored()
    {
        DownloadSpec spec;
        spec.id = QStringLiteral("idle");
        DownloadEngine engine(spec);
        QSignalSpy spy(&engine, &DownloadEngine::updated);
        QVERIFY(QMetaObject::invokeMethod(&engine, "pause"));
        QCOMPARE(spy.count(), 0);
    }

    // The clamp shows in the engine's first snapshot; an ftp URL ends the attempt before any request.
    void connectionsAreClamped_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("clamped");
        QTest::newRow("negative") << -3 << 1;
        QTest::newRow("zero") << 0 << 1;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("sixteen") << 16 << 16;
        QTest::newRow("seventeen") << 17 << 16;
    }

    void connectionsAreClamped()
    {
        QFETCH(int, requested);
        QFETCH(int, clamped);
        DownloadSpec spec;
        spec.id = QStringLiteral("c");
        spec.url = QUrl(QStringLiteral("ftp://127.0.0.1/file"));
        spec.destination = QStringLiteral("/nonexistent-folder/file");
        spec.connections = requested;
        DownloadEngine engine(spec);
        QSignalSpy spy(&engine, &DownloadEngine::updated);
        engine.start();
        QCOMPARE(spy.count(), 1);
        const auto snapshot = spy.at(0).at(0).value<DownloadSnapshot>();
        QCOMPARE(snapshot.connections, clamped);
        QCOMPARE(snapshot.status, DownloadStatus::Error);
        QCOMPARE(snapshot.id, spec.id);
        QCOMPARE(snapshot.url, spec.url);
        QCOMPARE(snapshot.destination, spec.destination);
    }

    void engineLivesInNamedThread()
    {
        DownloadSpec spec;
        spec.id = QStringLiteral("abc");
        spec.url = QUrl(QStringLiteral("http://127.0.0.1:1/file"));
        spec.destination = QStringLiteral("/tmp/none");
        QThread thread;
        thread.setObjectName(QStringLiteral("Download-%1").arg(spec.id));
        auto *engine = new DownloadEngine(spec);
        engine->moveToThread(&thread);
        QSignalSpy destroyed(engine, &QObject::destroyed);
        connect(&thread, &QThread::finished, engine, &QObject::deleteLater);
        thread.start();
        QVERIFY(QMetaObject::invokeMethod(engine, "pause", Qt::BlockingQueuedConnection));
        thread.quit();
        QVERIFY(thread.wait(30000));
        QTRY_COMPARE_WITH_TIMEOUT(destroyed.count(), 1, 30000);
    }

    void snapshotCrossesThreads()
    {
        QThread thread;
        SnapshotSource source;
        source.moveToThread(&thread);
        thread.start();

        DownloadSnapshot sent;
        sent.id = QStringLiteral("x");
        sent.url = QUrl(QStringLiteral("https://example.invalid/a.bin"));
        sent.destination = QStringLiteral("/tmp/a.bin");
        sent.connections = 4;
        sent.status = DownloadStatus::Downloading;
        sent.error = QStringLiteral("none");
        sent.received = 3'000'000'000;
        sent.total = 6'000'000'000;
        sent.speed = 1.5e6;
        sent.resumable = true;
        sent.segments = {{0, 2'999'999'999, 2'000'000'000}, {3'000'000'000, 5'999'999'999, 1'000'000'000}};

        DownloadSnapshot received;
        QThread *receivingThread = nullptr;
        connect(&source, &SnapshotSource::updated, this, [&](const DownloadSnapshot &snapshot) {
            received = snapshot;
            receivingThread = QThread::currentThread();
        });
        QVERIFY(
            QMetaObject::invokeMethod(&source, "send", Qt::QueuedConnection, Q_ARG(DownloadSnapshot, sent)));
        QTRY_VERIFY_WITH_TIMEOUT(receivingThread != nullptr, 30000);
        thread.quit();
        QVERIFY(thread.wait(30000));

        QCOMPARE(receivingThread, QThread::currentThread());
        QCOMPARE(received.id, sent.id);
        QCOMPARE(received.url, sent.url);
        QCOMPARE(received.destination, sent.destination);
        QCOMPARE(received.connections, sent.connections);
        QCOMPARE(received.status, sent.status);
        QCOMPARE(received.error, sent.error);
        QCOMPARE(received.received, sent.received);
        QCOMPARE(received.total, sent.total);
        QCOMPARE(received.speed, sent.speed);
        QCOMPARE(received.resumable, sent.resumable);
        QCOMPARE(received.segments, sent.segments);
    }
};

QTEST_GUILESS_MAIN(TestDownloadRecords)
#include "tst_DownloadRecords.moc"
