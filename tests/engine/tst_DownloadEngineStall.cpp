#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <QTest>

using namespace EngineTestSupport;
using Fault = TestHttpServer::Fault;

// A connection that goes silent is given up after 30 s and retried, whether it stalls before the
// answer or in the middle of a body. Both wait out the real time-out, side by side.
class TestDownloadEngineStall : public QObject
{
    Q_OBJECT

private slots:
    void silentConnectionsAreRetried()
    {
        TestEnvironment environment;
        QVERIFY(environment.isValid());
        TestHttpServer server;
        QVERIFY(server.start());
        const QByteArray body = randomBody(100000);
        server.setResource("/body", resource(body));
        server.setResource("/probe", resource(body));
        server.addFault(Fault::stallAfter(1000).on("/body").onSegmentsOnly());
        server.addFault(Fault::stallBeforeAnswer().on("/probe"));

        const QString bodyDestination = environment.scratch() + QStringLiteral("/body.bin");
        const QString probeDestination = environment.scratch() + QStringLiteral("/probe.bin");
        EngineHarness stalledBody(spec(server.url("/body"), bodyDestination, 1));
        EngineHarness stalledProbe(spec(server.url("/probe"), probeDestination, 1));
        stalledBody.start();
        stalledProbe.start();

        const int bodyRetry = stalledBody.waitForStatus(DownloadStatus::Retrying, 90000);
        QVERIFY(bodyRetry >= 0);
        QCOMPARE(stalledBody.records().at(bodyRetry).snapshot.error,
                 QStringLiteral("Transfer interrupted: The connection timed out or was interrupted. "
                                "Retrying in 2 seconds (attempt 1 of 3)."));
        const int downloading = stalledBody.waitForStatus(DownloadStatus::Downloading, 0);
        QVERIFY(stalledBody.records().at(bodyRetry).atMs - stalledBody.records().at(downloading).atMs >=
                29000);
        QCOMPARE(receivedOf(checkpointSegments(bodyDestination)), 1000);

        const int probeRetry = stalledProbe.waitForStatus(DownloadStatus::Retrying, 90000);
        QVERIFY(probeRetry >= 0);
        QCOMPARE(stalledProbe.records().at(probeRetry).snapshot.error,
                 QStringLiteral("Could not connect: The connection timed out or was interrupted. "
                                "Retrying in 2 seconds (attempt 1 of 3)."));
        QVERIFY(stalledProbe.records().at(probeRetry).atMs - stalledProbe.records().first().atMs >= 29000);

        QVERIFY(stalledBody.waitForStatus(DownloadStatus::Completed, 30000, bodyRetry) >= 0);
        QVERIFY(stalledProbe.waitForStatus(DownloadStatus::Completed, 30000, probeRetry) >= 0);
        QVERIFY(readFile(bodyDestination) == body);
        QVERIFY(readFile(probeDestination) == body);
        QStringList resumed;
        for (const TestHttpServer::Request &request : server.requests()) {
            if (request.path == "/body")
                resumed.append(QString::fromLatin1(request.header("Range")));
        }
        resumed.removeDuplicates();
        QCOMPARE(resumed, (QStringList{"bytes=0-0", "bytes=0-99999", "bytes=1000-99999"}));
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngineStall)
#include "tst_DownloadEngineStall.moc"
