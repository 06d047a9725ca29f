#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>

#include <atomic>

using namespace EngineTestSupport;
using Fault = TestHttpServer::Fault;

Q_DECLARE_METATYPE(TestHttpServer::Fault)

namespace {

const QString connectionClosed = QStringLiteral("The connection closed before the segment was complete.");
const QString rangeRefused = QStringLiteral(
    "Server changed the file or did not honor the requested range. Retry to recheck the file.");

bool hasSidecars(const QString &destination)
{
    return QFile::exists(destination + QStringLiteral(".rushlet.part")) ||
           QFile::exists(destination + QStringLiteral(".rushlet.json"));
}

// A disk whose write-back fails once, told only to the first data sync after arming; Linux reports
// such a failure once per open file, so every later sync of the same file succeeds. The armed sync
// waits for the test's word, to be still running when the engine wants its answer.
namespace FlakyDisk {
std::atomic<bool> armed{false};
std::atomic<bool> failing{false};
QSemaphore answer;

bool sync(int)
{
    if (!armed.exchange(false))
        return true;
    failing = true;
    answer.tryAcquire(1, 30000);
    return false;
}
} // namespace FlakyDisk

} // namespace

class TestDownloadEngine : public EngineTestCase
{
    Q_OBJECT

private:
    // Downloads until "Downloading" shows some progress, then pauses; the checkpoint is then on disk.
    bool pauseMidway(EngineHarness &engine, qint64 atLeast)
    {
        engine.start();
        if (engine.waitFor([&](const DownloadSnapshot &s) { return s.received >= atLeast; }) < 0)
            return false;
        engine.pause();
        return engine.last().status == DownloadStatus::Paused;
    }

private slots:
    void segmentedDownload_data()
    {
        QTest::addColumn<int>("connections");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArray>("lastModified");
        QTest::addColumn<bool>("acceptRanges");
        QTest::addColumn<bool>("contentLength");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QByteArray>("ifRange");
        QTest::addColumn<bool>("resumable");

        const QByteArray date = "Wed, 21 Oct 2015 07:28:00 GMT";
        QTest::newRow("four ranges with an etag")
            << 4 << 1000LL << QByteArray("\"v1\"") << date << true << true
            << QStringList{"bytes=0-249", "bytes=250-499", "bytes=500-749", "bytes=750-999"}
            << QByteArray("\"v1\"") << true;
        QTest::newRow("date guards when there is no etag")
            << 2 << 1000LL << QByteArray() << date << true << true
            << QStringList{"bytes=0-499", "bytes=500-999"} << date << true;
        QTest::newRow("a weak etag alone: one range, no If-Range")
            << 2 << 1000LL << QByteArray("W/\"v1\"") << QByteArray() << true << true
            << QStringList{"bytes=0-999"} << QByteArray() << false;
        QTest::newRow("one connection")
            << 1 << 100000LL << QByteArray("\"v1\"") << QByteArray() << true << true
            << QStringList{"bytes=0-99999"} << QByteArray("\"v1\"") << true;
        QTest::newRow("sixteen connections, large")
            << 16 << 1048577LL << QByteArray("\"v1\"") << QByteArray() << true << true << QStringList()
            << QByteArray("\"v1\"") << true;
        QTest::newRow("no range support") << 8 << 5000LL << QByteArray("\"v1\"") << QByteArray() << false
                                          << true << QStringList{QString()} << QByteArray() << false;
        QTest::newRow("unknown size") << 8 << 70000LL << QByteArray() << QByteArray() << false << false
                                      << QStringList{QString()} << QByteArray() << false;
    }

    void segmentedDownload()
    {
        QFETCH(int, connections);
        QFETCH(qint64, size);
        QFETCH(QByteArray, etag);
        QFETCH(QByteArray, lastModified);
        QFETCH(bool, acceptRanges);
        QFETCH(bool, contentLength);
        QFETCH(QStringList, ranges);
        QFETCH(QByteArray, ifRange);
        QFETCH(bool, resumable);

        const QByteArray body = randomBody(size);
        TestHttpServer::Resource served = resource(body, etag, lastModified);
        served.acceptRanges = acceptRanges;
        served.contentLength = contentLength;
        server->setResource("/file.bin", served);

        EngineHarness engine(spec(server->url("/file.bin"), destination, connections));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        const DownloadSnapshot done = engine.last();
        QCOMPARE(engine.statuses(), (QStringList{"Connecting", "Downloading", "Completed"}));
        QVERIFY(done.error.isEmpty());
        QCOMPARE(done.total, size);
        QCOMPARE(done.received, size);
        QCOMPARE(done.speed, 0.0);
        QCOMPARE(done.resumable, resumable);
        QVERIFY(readFile(destination) == body);
        QVERIFY(!hasSidecars(destination));

        // Before the end, the size was what the probe could tell.
        const int downloading = engine.waitForStatus(DownloadStatus::Downloading, 0);
        QCOMPARE(engine.records().at(downloading).snapshot.total, contentLength ? size : -1);

        const QList<TestHttpServer::Request> requests = server->requests();
        const TestHttpServer::Request &probe = requests.first();
        QCOMPARE(probe.header("Range"), QByteArray("bytes=0-0"));
        for (const TestHttpServer::Request &request : requests) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.header("User-Agent"), QByteArray("Rushlet/1.1.0"));
            QCOMPARE(request.header("Accept-Encoding"), QByteArray("identity"));
        }
        // The network library may send a request again when its connection closed before any answer;
        // each range must still be asked for, and nothing else.
        QStringList asked = segmentRanges(requests);
        asked.removeDuplicates();
        if (!ranges.isEmpty()) {
            ranges.sort();
            QCOMPARE(asked, ranges);
        } else {
            QCOMPARE(asked.size(), connections);
        }
        for (qsizetype i = 1; i < requests.size(); ++i)
            QCOMPARE(requests.at(i).header("If-Range"), ifRange);
    }

    // Followed redirects show their 3xx headers to the engine; they must not end the request.
    void followsRedirects()
    {
        const QByteArray body = randomBody(3000);
        server->setResource("/file.bin", resource(body));
        server->addFault(Fault::redirect(302, "/file.bin").on("/old").repeated(100));
        EngineHarness engine(spec(server->url("/old"), destination, 3));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == body);
        QList<TestHttpServer::Request> redirected;
        for (const TestHttpServer::Request &request : server->requests()) {
            if (request.path == "/file.bin")
                redirected.append(request);
        }
        QStringList ranges = segmentRanges(redirected);
        ranges.removeDuplicates();
        QCOMPARE(ranges, (QStringList{"bytes=0-999", "bytes=1000-1999", "bytes=2000-2999"}));
    }

    void emptyResource()
    {
        server->setResource("/empty", resource({}));
        EngineHarness engine(spec(server->url("/empty"), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QCOMPARE(engine.statuses(), (QStringList{"Connecting", "Completed"}));
        QCOMPARE(engine.last().total, 0);
        QVERIFY(QFileInfo(destination).isFile());
        QCOMPARE(QFileInfo(destination).size(), 0);
        QVERIFY(!hasSidecars(destination));
        QCOMPARE(server->requestCount(), 1);
    }

    void probeFailures_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");

        QTest::newRow("not found") << QByteArray("/missing") << Fault().on("/elsewhere") << "Error"
                                   << "Server returned HTTP 404.";
        QTest::newRow("unavailable") << QByteArray("/file.bin") << Fault::httpStatus(503) << "Retrying"
                                     << "Server returned HTTP 503. Retrying in 2 seconds (attempt 1 of 3).";
        QTest::newRow("too many requests")
            << QByteArray("/file.bin") << Fault::httpStatus(429) << "Retrying"
            << "Server returned HTTP 429. Retrying in 2 seconds (attempt 1 of 3).";
        QTest::newRow("forbidden") << QByteArray("/file.bin") << Fault::httpStatus(403) << "Error"
                                   << "Server returned HTTP 403.";
        QTest::newRow("gzip") << QByteArray("/file.bin") << Fault::gzipEncoded() << "Error"
                              << "Server returned an encoded response; byte offsets are unsafe.";
        QTest::newRow("range not the first byte")
            << QByteArray("/file.bin") << Fault::wrongContentRange("bytes 0-99/1234") << "Error"
            << "The server returned an invalid byte range.";
        QTest::newRow("range of nothing")
            << QByteArray("/file.bin") << Fault::wrongContentRange("bytes 0-0/0") << "Error"
            << "The server returned an invalid byte range.";
        Fault unsatisfiable = Fault::httpStatus(416);
        unsatisfiable.contentRange = "bytes */1000";
        QTest::newRow("unsatisfiable but not empty") << QByteArray("/file.bin") << unsatisfiable << "Error"
                                                     << "Server returned HTTP 416.";
    }

    void probeFailures()
    {
        QFETCH(QByteArray, path);
        QFETCH(Fault, fault);
        QFETCH(QString, status);
        QFETCH(QString, error);

        server->setResource("/file.bin", resource(randomBody(1000)));
        server->addFault(fault);
        EngineHarness engine(spec(server->url(path), destination));
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) {
            return s.status == DownloadStatus::Error || s.status == DownloadStatus::Retrying;
        }) >= 0);
        QCOMPARE(engine.last().status, status);
        QCOMPARE(engine.last().error, error);
        QCOMPARE(engine.statuses(), (QStringList{"Connecting", status}));
        QCOMPARE(server->requestCount(), 1);
        QVERIFY(!hasSidecars(destination));
    }

    void refusedBeforeSending_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("destinationTaken");
        QTest::addColumn<QString>("error");
        QTest::newRow("ftp") << "ftp://127.0.0.1/file.bin" << false << "Enter a valid HTTP or HTTPS URL.";
        QTest::newRow("no url") << QString() << false << "Enter a valid HTTP or HTTPS URL.";
        QTest::newRow("destination exists")
            << "http://127.0.0.1:1/file.bin" << true
            << "The destination file already exists. Choose a different file name.";
    }

    void refusedBeforeSending()
    {
        QFETCH(QString, url);
        QFETCH(bool, destinationTaken);
        QFETCH(QString, error);
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        if (destinationTaken)
            QVERIFY(writeFile(destination, "mine"));
        EngineHarness engine(spec(QUrl(url), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.statuses(), QStringList{"Error"});
        QCOMPARE(engine.last().error, error);
        if (destinationTaken)
            QCOMPARE(readFile(destination), QByteArray("mine"));
        QVERIFY(!hasSidecars(destination));
    }

    // Every failure keeps what was validly written, covered by the checkpoint, and never writes
    // bytes of an answer that does not fit the plan.
    void segmentFailures_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<bool>("withLength");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<qint64>("kept");

        const QString retrying = QStringLiteral(" Retrying in 2 seconds (attempt 1 of 3).");
        QTest::newRow("whole body instead of the range")
            << Fault::wholeBody() << true << "Error" << rangeRefused << 0LL;
        QTest::newRow("another range")
            << Fault::wrongContentRange("bytes 1-1000/1001") << true << "Error" << rangeRefused << 0LL;
        QTest::newRow("gzip") << Fault::gzipEncoded() << true << "Error" << rangeRefused << 0LL;
        QTest::newRow("changed etag")
            << Fault::changedEtag("\"v2\"") << true << "Error"
            << "The remote file changed during download. Retry to restart safely." << 0LL;
        // The resource is served with a weak ETag for this row.
        QTest::newRow("changed weak etag")
            << Fault::changedEtag("W/\"v2\"") << true << "Error"
            << "The remote file changed during download. Retry to restart safely." << 0LL;
        QTest::newRow("not found") << Fault::httpStatus(404) << true << "Error"
                                   << "Server returned HTTP 404." << 0LL;
        QTest::newRow("unavailable") << Fault::httpStatus(503) << true << "Retrying"
                                     << "Server returned HTTP 503." + retrying << 0LL;
        // A 3xx that is no redirect finishes without an error; it must not leave the download waiting.
        QTest::newRow("unfollowed 3xx") << Fault::httpStatus(300) << true << "Error"
                                        << "Server returned HTTP 300." << 0LL;
        QTest::newRow("closed cleanly, short")
            << Fault::dropAfter(300) << false << "Retrying" << connectionClosed + retrying << 300LL;
    }

    void segmentFailures()
    {
        QFETCH(Fault, fault);
        QFETCH(bool, withLength);
        QFETCH(QString, status);
        QFETCH(QString, error);
        QFETCH(qint64, kept);

        const QByteArray body = randomBody(1001);
        TestHttpServer::Resource served = resource(body, fault.etag.startsWith("W/") ? "W/\"v1\"" : "\"v1\"");
        served.contentLength = withLength;
        server->setResource("/file.bin", served);
        server->addFault(fault.onSegmentsOnly());
        EngineHarness engine(spec(server->url("/file.bin"), destination, 1));
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) {
            return s.status == DownloadStatus::Error || s.status == DownloadStatus::Retrying;
        }) >= 0);
        QCOMPARE(engine.last().status, status);
        QCOMPARE(engine.last().error, error);
        QCOMPARE(engine.last().received, kept);
        QCOMPARE(engine.last().speed, 0.0);
        const QList<SegmentProgress> stored = checkpointSegments(destination);
        QCOMPARE(receivedOf(stored), kept);
        QVERIFY(claimedBytesMatch(stored, readFile(destination + ".rushlet.part"), body));
    }

    void droppedConnectionIsRetried()
    {
        const QByteArray body = randomBody(100000);
        server->setResource("/file.bin", resource(body));
        server->addFault(Fault::dropAfter(5000).onSegmentsOnly());
        EngineHarness engine(spec(server->url("/file.bin"), destination, 1));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Retrying) >= 0);
        // Whether the network library reports the early close as an error or not, it is retried.
        QVERIFY(engine.last().error.endsWith(" Retrying in 2 seconds (attempt 1 of 3)."));
        QCOMPARE(receivedOf(checkpointSegments(destination)), 5000);
        server->clearRequests();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == body);
        QCOMPARE(segmentRanges(server->requests()), QStringList{"bytes=5000-99999"});
    }

    void overlongBodyIsNotWritten()
    {
        const QByteArray body = randomBody(1000);
        server->setResource("/file.bin", resource(body));
        server->addFault(Fault::overlongBody(10).onSegmentsOnly());
        EngineHarness engine(spec(server->url("/file.bin"), destination, 1));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.last().error, QStringLiteral("The response exceeded its expected size."));
        QVERIFY(QFileInfo(destination + ".rushlet.part").size() <= 1000);
        QVERIFY(claimedBytesMatch(checkpointSegments(destination), readFile(destination + ".rushlet.part"),
                                  body));
    }

    void pauseAndResume()
    {
        const QByteArray body = randomBody(1'000'000);
        server->setResource("/file.bin", resource(body));
        server->setBytesPerSecond(200'000);
        EngineHarness engine(spec(server->url("/file.bin"), destination, 4));
        QVERIFY(pauseMidway(engine, 100'000));
        const DownloadSnapshot paused = engine.last();
        QVERIFY(paused.error.isEmpty());
        QCOMPARE(paused.speed, 0.0);
        const QList<SegmentProgress> stored = checkpointSegments(destination);
        QCOMPARE(stored, paused.segments);
        QVERIFY(receivedOf(stored) < body.size());
        QVERIFY(claimedBytesMatch(stored, readFile(destination + ".rushlet.part"), body));

        // Paused is not active: nothing more is published or fetched.
        const int published = engine.records().size();
        engine.pause();
        QCOMPARE(engine.records().size(), published);

        server->clearRequests();
        server->setBytesPerSecond(0);
        engine.start();
        const int resumedAt = engine.records().size();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, resumedAt) >= 0);
        QVERIFY(readFile(destination) == body);
        // The new attempt's first snapshot still shows the bytes already there.
        const DownloadSnapshot connecting = engine.records().at(resumedAt).snapshot;
        QCOMPARE(connecting.status, DownloadStatus::Connecting);
        QCOMPARE(connecting.segments, paused.segments);

        QStringList expected;
        for (const SegmentProgress &segment : stored) {
            if (segment.received <= segment.end - segment.start)
                expected.append(
                    QStringLiteral("bytes=%1-%2").arg(segment.start + segment.received).arg(segment.end));
        }
        expected.sort();
        QCOMPARE(segmentRanges(server->requests()), expected);
    }

    // Bytes of two versions never mix: a changed resource silently starts over.
    void changedResourceRestartsFromZero_data()
    {
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<bool>("acceptRanges");
        QTest::addColumn<qint64>("size");
        QTest::newRow("new etag") << QByteArray("\"v2\"") << true << 1'000'000LL;
        QTest::newRow("ranges no longer honoured") << QByteArray("\"v1\"") << false << 1'000'000LL;
        QTest::newRow("new size") << QByteArray("\"v1\"") << true << 999'999LL;
        QTest::newRow("no validator any more") << QByteArray() << true << 1'000'000LL;
    }

    void changedResourceRestartsFromZero()
    {
        QFETCH(QByteArray, etag);
        QFETCH(bool, acceptRanges);
        QFETCH(qint64, size);
        server->setResource("/file.bin", resource(randomBody(1'000'000)));
        server->setBytesPerSecond(200'000);
        EngineHarness engine(spec(server->url("/file.bin"), destination, 4));
        QVERIFY(pauseMidway(engine, 100'000));

        const QByteArray changed = randomBody(size, 2);
        TestHttpServer::Resource served = resource(changed, etag);
        served.acceptRanges = acceptRanges;
        server->setResource("/file.bin", served);
        server->setBytesPerSecond(0);
        server->clearRequests();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, engine.records().size()) >= 0);
        QVERIFY(engine.last().error.isEmpty());
        QVERIFY(readFile(destination) == changed);
        qint64 fetched = 0;
        const QList<TestHttpServer::Request> requests = server->requests();
        for (qsizetype i = 1; i < requests.size(); ++i)
            fetched += requests.at(i).bodyBytesSent;
        QCOMPARE(fetched, size);
    }

    void unrecognizedSidecars_data()
    {
        // A null partial file is absent.
        QTest::addColumn<QByteArray>("part");
        QTest::addColumn<QByteArray>("checkpoint");
        const QByteArray foreignCheckpoint(
            "{\"version\":1,\"url\":\"http://127.0.0.1:1/other\",\"destination\":\"DEST\"}");
        QTest::newRow("partial file without checkpoint") << QByteArray("not ours") << QByteArray();
        QTest::newRow("checkpoint of another url") << QByteArray("not ours") << foreignCheckpoint;
        QTest::newRow("empty partial file beside a checkpoint of another url")
            << QByteArray("") << foreignCheckpoint;
        QTest::newRow("checkpoint of another destination")
            << QByteArray("not ours")
            << QByteArray("{\"version\":1,\"url\":\"URL\",\"destination\":\"/elsewhere\"}");
        QTest::newRow("damaged checkpoint alone") << QByteArray() << QByteArray("{\"version\":");
        // Only a finished download's checkpoint is a leftover to remove.
        QTest::newRow("unfinished checkpoint of another url alone")
            << QByteArray()
            << QByteArray(
                   "{\"version\":1,\"url\":\"http://127.0.0.1:1/other\",\"destination\":\"DEST\","
                   "\"total\":\"5\",\"segments\":[{\"start\":\"0\",\"end\":\"4\",\"received\":\"4\"}]}");
    }

    void unrecognizedSidecars()
    {
        QFETCH(QByteArray, part);
        QFETCH(QByteArray, checkpoint);
        server->setResource("/file.bin", resource(randomBody(1000)));
        const QUrl url = server->url("/file.bin");
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        if (!part.isNull())
            QVERIFY(writeFile(destination + ".rushlet.part", part));
        checkpoint.replace("DEST", destination.toUtf8()).replace("URL", url.toEncoded());
        if (!checkpoint.isEmpty())
            QVERIFY(writeFile(destination + ".rushlet.json", checkpoint));

        EngineHarness engine(spec(url, destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.last().error,
                 QStringLiteral(
                     "An unrecognized partial file exists at this location. Choose another file name."));
        if (!part.isNull()) {
            QVERIFY(QFile::exists(destination + ".rushlet.part"));
            QCOMPARE(readFile(destination + ".rushlet.part"), part);
        }
        QCOMPARE(readFile(destination + ".rushlet.json"), checkpoint);
        QVERIFY(!QFile::exists(destination));
    }

    // What a crash between creating the partial file and saving its first checkpoint leaves behind.
    void emptyPartialFileWithoutCheckpointIsTakenOver()
    {
        const QByteArray body = randomBody(100'000);
        server->setResource("/file.bin", resource(body));
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        QVERIFY(writeFile(destination + ".rushlet.part", QByteArray()));
        EngineHarness engine(spec(server->url("/file.bin"), destination, 4));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == body);
        QVERIFY(!hasSidecars(destination));
    }

    // Only a plain file is taken over: a link could point anywhere.
    void emptyLinkAsPartialFileIsRefused()
    {
        server->setResource("/file.bin", resource(randomBody(1000)));
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        const QString target = environment->scratch() + QStringLiteral("/elsewhere");
        QVERIFY(writeFile(target, QByteArray()));
        QVERIFY(QFile::link(target, destination + ".rushlet.part"));
        EngineHarness engine(spec(server->url("/file.bin"), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.last().error,
                 QStringLiteral(
                     "An unrecognized partial file exists at this location. Choose another file name."));
        QVERIFY(readFile(target).isEmpty());
        QVERIFY(!QFile::exists(destination));
    }

    // A checkpoint whose partial file is gone restores nothing but is taken over.
    void checkpointWithoutPartialFile()
    {
        const QByteArray body = randomBody(1000);
        server->setResource("/file.bin", resource(body));
        server->setBytesPerSecond(200);
        EngineHarness engine(spec(server->url("/file.bin"), destination, 2));
        QVERIFY(pauseMidway(engine, 1));
        QVERIFY(QFile::remove(destination + ".rushlet.part"));
        server->setBytesPerSecond(0);
        server->clearRequests();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, engine.records().size()) >= 0);
        QVERIFY(readFile(destination) == body);
        QCOMPARE(segmentRanges(server->requests()), (QStringList{"bytes=0-499", "bytes=500-999"}));
    }

    // A crash between the final rename and the checkpoint's removal leaves the checkpoint of a
    // finished download alone; a new download to the same name, of any link, goes ahead.
    void finishedCheckpointWithoutPartialFileIsRemoved()
    {
        const QByteArray body = randomBody(1000);
        server->setResource("/file.bin", resource(body));
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        QVERIFY(writeFile(destination + ".rushlet.json",
                          "{\"version\":1,\"url\":\"http://127.0.0.1:1/old\",\"destination\":\"" +
                              destination.toUtf8() +
                              "\",\"total\":\"5\",\"segments\":[{\"start\":\"0\",\"end\":\"4\","
                              "\"received\":\"5\"}]}"));
        EngineHarness engine(spec(server->url("/file.bin"), destination, 2));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == body);
        QVERIFY(!hasSidecars(destination));
    }

    // A download that cannot fit asks for no range, leaves nothing behind and names what it needs;
    // once there is room, Retry fetches it. A paused download that reserved its room resumes on a
    // disk that has filled up meanwhile.
    void spaceIsReservedBeforeTheTransfer()
    {
        SmallDisk disk(16 * 1024 * 1024);
        QVERIFY(disk.isValid());
        QVERIFY2(disk.isOwnFileSystem(), "needs a small file system of its own (tmpfs, as root)");
        const QByteArray body = randomBody(6 * 1024 * 1024);
        server->setResource("/file.bin", resource(body));
        const QString tooBig = disk.path() + QStringLiteral("/big.bin");
        EngineHarness engine(spec(server->url("/file.bin"), tooBig, 4));
        QVERIFY(disk.fill(4 * 1024 * 1024));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.last().error,
                 QStringLiteral(
                     "Not enough free space: the file needs 6.0 MB and 4.0 MB are free on this drive."));
        QVERIFY(segmentRanges(server->requests()).isEmpty());
        QVERIFY(!hasSidecars(tooBig));

        disk.release();
        const int retried = engine.records().size();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, retried) >= 0);
        QVERIFY(readFile(tooBig) == body);

        const QString paused = disk.path() + QStringLiteral("/paused.bin");
        server->setBytesPerSecond(500'000);
        EngineHarness resumed(spec(server->url("/file.bin"), paused, 4));
        QVERIFY(pauseMidway(resumed, 100'000));
        server->setBytesPerSecond(0);
        // Room for the checkpoints only, far less than the bytes still to come.
        QVERIFY(disk.fill(64 * 1024));
        resumed.start();
        QVERIFY(resumed.waitForStatus(DownloadStatus::Completed, 30000, resumed.records().size()) >= 0);
        disk.release();
        QVERIFY(readFile(paused) == body);
    }

    // A second engine on a destination another one works on stops at once and touches nothing, so
    // the first one's file comes out whole.
    void secondEngineOnOneFileLeavesItAlone()
    {
        const QByteArray body = randomBody(400'000);
        server->setResource("/file.bin", resource(body));
        server->setBytesPerSecond(100'000);
        EngineHarness first(spec(server->url("/file.bin"), destination, 2));
        first.start();
        QVERIFY(first.waitFor([](const DownloadSnapshot &s) { return s.received > 0; }) >= 0);
        EngineHarness second(spec(server->url("/file.bin"), destination, 2));
        second.start();
        QVERIFY(second.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(second.last().error,
                 QStringLiteral("This file is already being downloaded by another program."));
        server->setBytesPerSecond(0);
        QVERIFY(first.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == body);
        QVERIFY(!hasSidecars(destination));
    }

    // What the earlier product left behind is resumed, by an engine that knows nothing yet, also
    // when a crash cut the take-over short after one of its two renames.
    void legacySidecarsAreTakenOver_data()
    {
        QTest::addColumn<bool>("partMoved");
        QTest::addColumn<bool>("checkpointMoved");
        QTest::newRow("not begun") << false << false;
        QTest::newRow("checkpoint moved") << false << true;
        QTest::newRow("partial file moved") << true << false;
    }

    void legacySidecarsAreTakenOver()
    {
        QFETCH(bool, partMoved);
        QFETCH(bool, checkpointMoved);
        const QByteArray body = randomBody(1'000'000);
        server->setResource("/file.bin", resource(body));
        server->setBytesPerSecond(200'000);
        const DownloadSpec downloadSpec = spec(server->url("/file.bin"), destination, 4);
        QList<SegmentProgress> stored;
        {
            EngineHarness first(downloadSpec);
            QVERIFY(pauseMidway(first, 100'000));
            stored = checkpointSegments(destination);
        }
        if (!partMoved)
            QVERIFY(QFile::rename(destination + ".rushlet.part", destination + ".brio.part"));
        if (!checkpointMoved)
            QVERIFY(QFile::rename(destination + ".rushlet.json", destination + ".brio.json"));

        server->setBytesPerSecond(0);
        server->clearRequests();
        EngineHarness second(downloadSpec);
        second.start();
        QVERIFY(second.waitForStatus(DownloadStatus::Completed) >= 0);
        const DownloadSnapshot connecting = second.records().first().snapshot;
        QCOMPARE(connecting.status, DownloadStatus::Connecting);
        QCOMPARE(connecting.total, -1);
        QVERIFY(connecting.segments.isEmpty());
        QVERIFY(readFile(destination) == body);
        QVERIFY(!QFile::exists(destination + ".brio.part"));
        QVERIFY(!QFile::exists(destination + ".brio.json"));
        qint64 fetched = 0;
        for (const TestHttpServer::Request &request : server->requests().mid(1))
            fetched += request.bodyBytesSent;
        QCOMPARE(fetched, body.size() - receivedOf(stored));
    }

    void legacySidecarsStayBesideCurrentOnes()
    {
        server->setResource("/file.bin", resource(randomBody(1000)));
        QVERIFY(QDir().mkpath(QFileInfo(destination).absolutePath()));
        QVERIFY(writeFile(destination + ".rushlet.part", "current"));
        QVERIFY(writeFile(destination + ".brio.part", "legacy"));
        QVERIFY(writeFile(destination + ".brio.json", "{}"));
        EngineHarness engine(spec(server->url("/file.bin"), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(readFile(destination + ".brio.part"), QByteArray("legacy"));
        QCOMPARE(readFile(destination + ".brio.json"), QByteArray("{}"));
        QCOMPARE(readFile(destination + ".rushlet.part"), QByteArray("current"));
    }

    void everythingOnDiskCompletesWithoutFetching()
    {
        const QByteArray body = randomBody(1000);
        server->setResource("/file.bin", resource(body));
        // The file appears just before the rename, so the completed data stays in the sidecars.
        server->setBytesPerSecond(300);
        EngineHarness engine(spec(server->url("/file.bin"), destination, 2));
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) { return s.received > 0; }) >= 0);
        QVERIFY(writeFile(destination, "someone else's"));
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        QCOMPARE(engine.last().error, QStringLiteral("Could not rename the completed file: File exists"));
        QCOMPARE(readFile(destination), QByteArray("someone else's"));
        QCOMPARE(readFile(destination + ".rushlet.part"), body);
        QCOMPARE(receivedOf(checkpointSegments(destination)), 1000);

        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) {
            return s.error ==
                   QStringLiteral("The destination file already exists. Choose a different file name.");
        }) >= 0);

        QVERIFY(QFile::remove(destination));
        server->clearRequests();
        const int from = engine.records().size();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, from) >= 0);
        QCOMPARE(server->requestCount(), 1);
        QVERIFY(readFile(destination) == body);
        QVERIFY(!hasSidecars(destination));
    }

    // A sync that failed in the background is heard, even when the engine wants the disk's word
    // before the sync has answered: no checkpoint then claims bytes the disk may have lost.
    void failedBackgroundSyncIsNeverLost()
    {
        server->setResource("/file.bin", resource(randomBody(1'000'000)));
        server->setBytesPerSecond(100'000);
        FileSystem::replaceSyncDataForTesting(&FlakyDisk::sync);
        const auto restoreDisk = qScopeGuard([] {
            FlakyDisk::answer.release();
            FileSystem::replaceSyncDataForTesting(nullptr);
        });
        EngineHarness engine(spec(server->url("/file.bin"), destination, 4));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Downloading) >= 0);
        const QList<SegmentProgress> saved = checkpointSegments(destination);
        QCOMPARE(receivedOf(saved), 0);
        // The next data sync is the periodic checkpoint's, in the background.
        FlakyDisk::armed = true;
        QTRY_VERIFY_WITH_TIMEOUT(FlakyDisk::failing, 30000);

        engine.pauseLater();
        const auto ended = [](const DownloadSnapshot &s) {
            return s.status == DownloadStatus::Paused || s.status == DownloadStatus::Error;
        };
        // The pause must wait for the sync's answer; one that did not would have ended by now.
        QCOMPARE(engine.waitFor(ended, 1000), -1);
        FlakyDisk::answer.release();
        QVERIFY(engine.waitFor(ended) >= 0);
        QCOMPARE(engine.last().status, DownloadStatus::Error);
        QCOMPARE(engine.last().error,
                 QStringLiteral("Could not save resume information. The previous checkpoint will be used."));
        QCOMPARE(checkpointSegments(destination), saved);
    }

    // Without a strong ETag or a date nothing tells two versions apart; a file replaced by another of
    // the same size while ranges are under way must not come out as a mix of both.
    void sameSizeReplacementWithoutValidators()
    {
        const QByteArray original = randomBody(400'000);
        const QByteArray replacement = randomBody(400'000, 2);
        server->setResource("/file.bin", resource(original, {}));
        server->setBytesPerSecond(400'000);
        // Every range but the first is answered after the replacement.
        Fault later;
        later.answerDelayMs = 3000;
        later.when = [](const TestHttpServer::Request &request) {
            const QByteArray range = request.header("Range");
            return !range.isNull() && !range.startsWith("bytes=0-");
        };
        server->addFault(later.repeated(100));
        EngineHarness engine(spec(server->url("/file.bin"), destination, 4));
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) { return s.received > 0; }) >= 0);
        server->setResource("/file.bin", resource(replacement, {}));
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) {
            return s.status == DownloadStatus::Completed || s.status == DownloadStatus::Error;
        }) >= 0);
        const QByteArray saved = readFile(destination);
        QVERIFY(saved == original || saved == replacement);
        QCOMPARE(segmentRanges(server->requests()), QStringList{"bytes=0-399999"});
    }

    // A redirector may spread requests over mirrors whose copies differ while their dates agree; the
    // ranges of one download all come from the mirror the probe reached.
    void rangesComeFromTheProbedMirror()
    {
        const QByteArray date = "Wed, 21 Oct 2015 07:28:00 GMT";
        const QByteArray first = randomBody(3000);
        server->setResource("/a/file.bin", resource(first, {}, date));
        server->setResource("/b/file.bin", resource(randomBody(3000, 2), {}, date));
        server->addFault(Fault::redirect(302, "/a/file.bin").on("/file.bin").repeated(2));
        server->addFault(Fault::redirect(302, "/b/file.bin").on("/file.bin").repeated(100));
        EngineHarness engine(spec(server->url("/file.bin"), destination, 3));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(readFile(destination) == first);
        QStringList paths;
        for (const TestHttpServer::Request &request : server->requests()) {
            if (request.header("Range") != "bytes=0-0")
                paths.append(QString::fromLatin1(request.path));
        }
        paths.removeDuplicates();
        QCOMPARE(paths, QStringList{"/a/file.bin"});
    }

    void commandsOutsideTheirStates()
    {
        server->setResource("/file.bin", resource(randomBody(10)));
        server->addFault(Fault::stallBeforeAnswer());
        EngineHarness engine(spec(server->url("/file.bin"), destination));
        engine.start();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Connecting) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(server->requestCount(), 1, 30000);
        engine.pause();
        QCOMPARE(engine.statuses(), (QStringList{"Connecting", "Paused"}));
        QCOMPARE(server->requestCount(), 1);

        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        const int published = engine.records().size();
        engine.start();
        engine.pause();
        engine.settle(300);
        QCOMPARE(engine.records().size(), published);
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngine)
#include "tst_DownloadEngine.moc"
