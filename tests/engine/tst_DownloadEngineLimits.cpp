#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include "engine/RateShare.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace EngineTestSupport;

namespace {

QString sha256Of(const QByteArray &body)
{
    return QStringLiteral("sha-256=") +
           QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex());
}

// The bytes per second between the first snapshot at or after `fromMs` and the last one before
// `toMs`, counted from when the transfer began.
double rateBetween(const QList<EngineHarness::Record> &records, qint64 beganMs, qint64 fromMs, qint64 toMs)
{
    const EngineHarness::Record *first = nullptr;
    const EngineHarness::Record *last = nullptr;
    for (const EngineHarness::Record &record : records) {
        const qint64 at = record.atMs - beganMs;
        if (record.snapshot.status != DownloadStatus::Downloading || at < fromMs)
            continue;
        if (!first)
            first = &record;
        if (at <= toMs)
            last = &record;
    }
    if (!first || !last || last->atMs <= first->atMs)
        return -1;
    return double(last->snapshot.received - first->snapshot.received) * 1000.0 /
           double(last->atMs - first->atMs);
}

} // namespace

class TestDownloadEngineLimits : public EngineTestCase
{
    Q_OBJECT

private slots:
    // The engine reads no faster than its share, every connection gets its turn, and a limit
    // lifted while downloading frees the rest at once.
    void pacesItsReadsAndFollowsAChange()
    {
        constexpr qint64 limit = 192 * 1024;
        const QByteArray body = randomBody(4 * 1024 * 1024);
        server->setResource("/file.bin", resource(body));
        const auto share = std::make_shared<RateShare>(limit);
        DownloadSpec paced = spec(server->url("/file.bin"), destination, 4);
        paced.rateLimit = share;
        EngineHarness engine(paced);
        engine.start();
        const int began = engine.waitForStatus(DownloadStatus::Downloading);
        QVERIFY(began >= 0);
        const qint64 beganMs = engine.records().at(began).atMs;
        QVERIFY(engine.waitFor(
                    [&](const DownloadSnapshot &) { return engine.records().last().atMs - beganMs >= 4000; },
                    30000, began) >= 0);

        // After the first second: the limit, give or take what a busy machine does to the clock.
        const double rate = rateBetween(engine.records(), beganMs, 1000, 4000);
        qInfo("paced at %.0f B/s for a limit of %lld", rate, limit);
        QVERIFY2(rate > limit * 0.5 && rate < limit * 1.15, qPrintable(QStringLiteral("%1 B/s").arg(rate)));
        const DownloadSnapshot midway = engine.last();
        qint64 least = midway.total;
        qint64 most = 0;
        for (const SegmentProgress &segment : midway.segments) {
            least = std::min(least, segment.received);
            most = std::max(most, segment.received);
        }
        QVERIFY2(least * 2 >= most,
                 qPrintable(QStringLiteral("segments between %1 and %2").arg(least).arg(most)));

        // What is left would take more than ten seconds at the old rate.
        QVERIFY(body.size() - midway.received > 10 * limit);
        QElapsedTimer lifted;
        lifted.start();
        share->set(0);
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, began) >= 0);
        QVERIFY2(lifted.elapsed() < 5000, qPrintable(QStringLiteral("%1 ms").arg(lifted.elapsed())));
        QVERIFY(readFile(destination) == body);
    }

    void matchingChecksumCompletesAfterVerifying()
    {
        const QByteArray body = randomBody(3 * 1024 * 1024 + 17);
        server->setResource("/file.bin", resource(body));
        DownloadSpec checked = spec(server->url("/file.bin"), destination, 4);
        checked.checksum = sha256Of(body);
        EngineHarness engine(checked);
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QCOMPARE(engine.statuses(), QStringList({DownloadStatus::Connecting, DownloadStatus::Downloading,
                                                 DownloadStatus::Verifying, DownloadStatus::Completed}));
        QVERIFY(readFile(destination) == body);
        QCOMPARE(engine.last().checksum, checked.checksum);
        QVERIFY(!QFile::exists(destination + QStringLiteral(".rushlet.part")));
        QVERIFY(!QFile::exists(destination + QStringLiteral(".rushlet.json")));
    }

    // A file that does not match never takes its name; its partial file and checkpoint stay, and
    // Retry fetches every byte again, here from a server that has since been put right.
    void mismatchKeepsThePartialFileAndRetryFetchesAgain()
    {
        const QByteArray body = randomBody(2 * 1024 * 1024, 3);
        QByteArray corrupted = body;
        corrupted[700000] = char(corrupted.at(700000) ^ 0x40);
        server->setResource("/file.bin", resource(corrupted));
        DownloadSpec checked = spec(server->url("/file.bin"), destination, 4);
        checked.checksum =
            QStringLiteral("sha-512=") +
            QString::fromLatin1(QCryptographicHash::hash(body, QCryptographicHash::Sha512).toHex());
        EngineHarness engine(checked);
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Error) >= 0);
        const QString got =
            QString::fromLatin1(QCryptographicHash::hash(corrupted, QCryptographicHash::Sha512).toHex());
        QCOMPARE(
            engine.last().error,
            QStringLiteral("The downloaded file does not match its SHA-512 checksum (expected %1, got %2). "
                           "Retry to download it again.")
                .arg(checked.checksum.mid(8), got));
        QVERIFY(!QFile::exists(destination));
        QCOMPARE(readFile(destination + QStringLiteral(".rushlet.part")), corrupted);
        const QList<SegmentProgress> kept = checkpointSegments(destination);
        QCOMPARE(kept.size(), 4);
        QCOMPARE(receivedOf(kept), 0);

        server->setResource("/file.bin", resource(body));
        server->clearRequests();
        const qint64 sentBefore = server->bodyBytesSent();
        const int retried = engine.records().size();
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed, 30000, retried) >= 0);
        QVERIFY(readFile(destination) == body);
        QCOMPARE(segmentRanges(server->requests()).size(), 4);
        QCOMPARE(server->bodyBytesSent() - sentBefore, body.size() + 1);
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngineLimits)
#include "tst_DownloadEngineLimits.moc"
