#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <QTest>

using namespace EngineTestSupport;
using Fault = TestHttpServer::Fault;

namespace {

// Retry delays are measured between the snapshots that announce and begin the retry; a busy
// machine may deliver them late, never early.
constexpr qint64 earlyToleranceMs = 100;
constexpr qint64 lateToleranceMs = 2000;

Fault onProbesOnly(Fault fault)
{
    fault.when = [](const TestHttpServer::Request &request) {
        return request.header("Range") == "bytes=0-0";
    };
    return fault;
}

} // namespace

class TestDownloadEngineRetry : public EngineTestCase
{
    Q_OBJECT

private:
    // The time between the n-th "Retrying" snapshot and the "Connecting" that follows it.
    static qint64 retryDelay(const EngineHarness &engine, int n)
    {
        const QList<EngineHarness::Record> &records = engine.records();
        int seen = 0;
        for (qsizetype i = 0; i < records.size(); ++i) {
            if (records.at(i).snapshot.status != DownloadStatus::Retrying || ++seen != n)
                continue;
            for (qsizetype j = i + 1; j < records.size(); ++j) {
                if (records.at(j).snapshot.status == DownloadStatus::Connecting)
                    return records.at(j).atMs - records.at(i).atMs;
            }
        }
        return -1;
    }

    static bool delayIs(qint64 measured, qint64 expected)
    {
        return measured >= expected - earlyToleranceMs && measured <= expected + lateToleranceMs;
    }

private slots:
    void scheduleAndExhaustion()
    {
        const QByteArray body = randomBody(5000);
        server->setResource("/file.bin", resource(body));
        server->addFault(Fault::httpStatus(503).repeated(4));
        EngineHarness engine(spec(server->url("/file.bin"), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error, 60000) >= 0);

        QStringList errors;
        for (const EngineHarness::Record &record : engine.records()) {
            if (record.snapshot.status == DownloadStatus::Retrying ||
                record.snapshot.status == DownloadStatus::Error)
                errors.append(record.snapshot.error);
        }
        QCOMPARE(errors, (QStringList{
                             "Server returned HTTP 503. Retrying in 2 seconds (attempt 1 of 3).",
                             "Server returned HTTP 503. Retrying in 4 seconds (attempt 2 of 3).",
                             "Server returned HTTP 503. Retrying in 8 seconds (attempt 3 of 3).",
                             "Server returned HTTP 503. Automatic retries exhausted. Use Retry to try again.",
                         }));
        QCOMPARE(engine.statuses(), (QStringList{"Connecting", "Retrying", "Connecting", "Retrying",
                                                 "Connecting", "Retrying", "Connecting", "Error"}));
        QVERIFY2(delayIs(retryDelay(engine, 1), 2000), qPrintable(QString::number(retryDelay(engine, 1))));
        QVERIFY2(delayIs(retryDelay(engine, 2), 4000), qPrintable(QString::number(retryDelay(engine, 2))));
        QVERIFY2(delayIs(retryDelay(engine, 3), 8000), qPrintable(QString::number(retryDelay(engine, 3))));
        QCOMPARE(server->requestCount(), 4);

        // A new start begins at once with a fresh allowance of three.
        server->addFault(Fault::httpStatus(503));
        const int from = engine.records().size();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Retrying, 30000, from) >= 0);
        QCOMPARE(engine.last().error,
                 QStringLiteral("Server returned HTTP 503. Retrying in 2 seconds (attempt 1 of 3)."));
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, from) >= 0);
        QVERIFY(readFile(destination) == body);
    }

    // The allowance belongs to the user's start: progress in between does not renew it.
    void allowanceIsSharedAcrossFailures()
    {
        const QByteArray body = randomBody(100000);
        server->setResource("/file.bin", resource(body));
        server->addFault(onProbesOnly(Fault::httpStatus(503)));
        server->addFault(Fault::stallAfter(20000).onSegmentsOnly());
        EngineHarness engine(spec(server->url("/file.bin"), destination, 1));
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &s) { return s.received == 20000; }) >= 0);
        server->dropConnections();
        const int second = engine.waitFor([](const DownloadSnapshot &s) {
            return s.status == DownloadStatus::Retrying &&
                   s.error.contains(QLatin1StringView("attempt 2 of 3"));
        });
        QVERIFY(second >= 0);
        QVERIFY2(engine.last().error.endsWith(" Retrying in 4 seconds (attempt 2 of 3)."),
                 qPrintable(engine.last().error));
        QCOMPARE(receivedOf(checkpointSegments(destination)), 20000);
        server->clearRequests();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY2(delayIs(retryDelay(engine, 2), 4000), qPrintable(QString::number(retryDelay(engine, 2))));
        QVERIFY(readFile(destination) == body);
        QCOMPARE(segmentRanges(server->requests()), QStringList{"bytes=20000-99999"});
    }

    void pauseCancelsTheRetry()
    {
        server->setResource("/file.bin", resource(randomBody(1000)));
        server->addFault(Fault::httpStatus(503));
        EngineHarness engine(spec(server->url("/file.bin"), destination));
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Retrying) >= 0);
        engine.pause();
        QCOMPARE(engine.last().status, DownloadStatus::Paused);
        QVERIFY(engine.last().error.isEmpty());
        const int published = engine.records().size();
        // Longer than the 2 s the retry would have waited.
        engine.settle(3000);
        QCOMPARE(engine.records().size(), published);
        QCOMPARE(server->requestCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngineRetry)
#include "tst_DownloadEngineRetry.moc"
