#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "engine/ResumeCheckpoint.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

namespace {

constexpr int transferLimitMs = 60000;
constexpr qint64 largeSize = 4 * 1024 * 1024;
// Slow enough per connection that every large download is still running while the test acts.
constexpr qint64 throttledRate = 64 * 1024;

QString statusOf(const DownloadList &list, const QString &id)
{
    const QueueEntry *entry = list.entry(id);
    return entry ? entry->snapshot.status : QString();
}

qint64 receivedOf(const DownloadList &list, const QString &id)
{
    const QueueEntry *entry = list.entry(id);
    return entry ? entry->snapshot.received : -1;
}

} // namespace

// The list driving real engines against a local HTTP server.
class TestDownloadListEngine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<TestHttpServer> server;
    QByteArray largeBody;

    DownloadSnapshot download(const QString &id, const QByteArray &path) const
    {
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = server->url(path);
        snapshot.destination = environment->scratch() + QLatin1Char('/') + id + QStringLiteral(".bin");
        snapshot.connections = 2;
        return snapshot;
    }

    void serve(const QByteArray &path, const QByteArray &body)
    {
        TestHttpServer::Resource resource;
        resource.body = body;
        resource.etag = "\"" + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() + "\"";
        server->setResource(path, resource);
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        largeBody = EngineTestSupport::randomBody(largeSize);
    }

    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->start());
        server->setBytesPerSecond(throttledRate);
        serve("/large.bin", largeBody);
    }

    void cleanup() { server.reset(); }

    void removingARunningDownloadKeepsItsResumeState()
    {
        DownloadList list;
        const DownloadSnapshot snapshot = download(QStringLiteral("a"), "/large.bin");
        QVERIFY(list.addDownload(snapshot));
        list.startDownload(QStringLiteral("a"));
        QTRY_VERIFY_WITH_TIMEOUT(receivedOf(list, QStringLiteral("a")) > 0, transferLimitMs);

        list.removeDownload(QStringLiteral("a"));
        // The engine paused before the call returned: its checkpoint and partial file are there.
        QVERIFY(QFile::exists(snapshot.destination + QStringLiteral(".rushlet.json")));
        QVERIFY(QFile::exists(snapshot.destination + QStringLiteral(".rushlet.part")));
        QVERIFY(!QFile::exists(snapshot.destination));
        QCOMPARE(list.count(), 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(list.count(), 0);
    }

    void shutdownMidTransferResumesInTheNextRun()
    {
        const DownloadSnapshot snapshot = download(QStringLiteral("a"), "/large.bin");
        {
            DownloadList list;
            QVERIFY(list.addDownload(snapshot));
            list.startDownload(QStringLiteral("a"));
            QTRY_VERIFY_WITH_TIMEOUT(receivedOf(list, QStringLiteral("a")) > 0, transferLimitMs);
            list.shutdown();
            QVERIFY(!list.entry(QStringLiteral("a"))->thread);
        }
        const QJsonObject saved = environment->savedQueue().first().toObject();
        QCOMPARE(saved.value(QStringLiteral("status")).toString(), DownloadStatus::Paused);
        const qint64 savedReceived = saved.value(QStringLiteral("received")).toString().toLongLong();
        QVERIFY(savedReceived > 0);
        QVERIFY(savedReceived < largeSize);
        QCOMPARE(saved.value(QStringLiteral("segments")).toArray().size(), 2);

        server->setBytesPerSecond(0);
        const qint64 sentBefore = server->bodyBytesSent();
        DownloadList next;
        next.loadQueue();
        QCOMPARE(statusOf(next, QStringLiteral("a")), DownloadStatus::Paused);
        QCOMPARE(receivedOf(next, QStringLiteral("a")), savedReceived);
        next.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(next, QStringLiteral("a")), DownloadStatus::Completed,
                                  transferLimitMs);
        QCOMPARE(TestEnvironment::readFile(snapshot.destination), largeBody);
        // Only what was missing was fetched again.
        const qint64 sentAfter = server->bodyBytesSent() - sentBefore;
        QVERIFY2(sentAfter <= largeSize - savedReceived + 1024, qPrintable(QString::number(sentAfter)));
        QVERIFY(TestEnvironment::readFile(QueueRules::queueFilePath()).contains("\"Completed\""));
    }

    // The disk fills up mid-download, after the file's room was set aside. The checkpoint that could
    // not be written must leave the last good one whole, so that a retry once there is room resumes
    // instead of refusing the file.
    void aFullDiskLeavesTheLastCheckpointForRetry()
    {
        SmallDisk disk(8 * 1024 * 1024);
        QVERIFY(disk.isValid());
        DownloadSnapshot snapshot = download(QStringLiteral("a"), "/large.bin");
        snapshot.destination = disk.path() + QStringLiteral("/large.bin");
        const QString checkpoint = snapshot.destination + QStringLiteral(".rushlet.json");
        DownloadList list;
        QVERIFY(list.addDownload(snapshot));
        list.startDownload(QStringLiteral("a"));
        QTRY_VERIFY_WITH_TIMEOUT(receivedOf(list, QStringLiteral("a")) > 0, transferLimitMs);
        QVERIFY(disk.fill());
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Error,
                                  transferLimitMs);
        disk.release();

        ResumeCheckpoint::Contents kept;
        QVERIFY(ResumeCheckpoint::read(TestEnvironment::readFile(checkpoint), snapshot.url,
                                       snapshot.destination, &kept));
        qint64 keptReceived = 0;
        for (const SegmentProgress &segment : kept.segments)
            keptReceived += segment.received;
        QCOMPARE(QFileInfo(checkpoint).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        server->setBytesPerSecond(0);
        const qint64 sentBefore = server->bodyBytesSent();
        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Completed,
                                  transferLimitMs);
        QCOMPARE(TestEnvironment::readFile(snapshot.destination), largeBody);
        const qint64 sentAfter = server->bodyBytesSent() - sentBefore;
        QVERIFY2(sentAfter <= largeSize - keptReceived + 1024, qPrintable(QString::number(sentAfter)));
    }
};

QTEST_GUILESS_MAIN(TestDownloadListEngine)
#include "tst_DownloadListEngine.moc"
