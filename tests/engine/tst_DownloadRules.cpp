#include "engine/BrowserHandOff.h"
#include "engine/DownloadRules.h"
#include "engine/TransferRate.h"

#include <QTest>

using DownloadRules::ContentRange;

namespace {

QList<QList<qint64>> bounds(const QList<Segment> &plan)
{
    QList<QList<qint64>> result;
    for (const Segment &segment : plan)
        result.append({segment.start, segment.end});
    return result;
}

} // namespace

class TestDownloadRules : public QObject
{
    Q_OBJECT

private slots:
    // Which probe answers end a browser download before a byte is written. A wrong "Accept" saves a
    // login page as the file and reports it complete; a wrong refusal fails a good file.
    void handOffGuard()
    {
        using enum BrowserHandOff::Verdict;
        const QByteArray zip = "application/zip";
        const QList<std::tuple<QByteArray, qint64, QByteArray, qint64, BrowserHandOff::Verdict>> table = {
            {zip, 5000, zip, 5000, Accept},
            {zip, 5000, "text/html", 812, WebPage},
            {zip, -1, "Text/HTML; charset=utf-8", -1, WebPage},
            {zip, -1, "application/xhtml+xml", 40, WebPage},
            // After a redirect the hops' types come joined, the final answer's last.
            {zip, -1, "text/html, text/html", 812, WebPage},
            {zip, 5000, "text/html, application/zip", 5000, Accept},
            // The user asked for a page, or the browser was not told the type.
            {"text/html", 812, "text/html", 812, Accept},
            {{}, -1, "text/html", 812, Accept},
            {zip, 5000, "application/octet-stream", 5000, Accept},
            {zip, 5000, zip, 4999, OtherSize},
            // A size unknown to either side, and a browser's 0 for unknown, tell nothing.
            {zip, 5000, zip, -1, Accept},
            {zip, 0, zip, 5000, Accept}};
        for (const auto &[announced, size, served, total, verdict] : table) {
            RequestContext context;
            context.mimeType = QString::fromLatin1(announced);
            context.size = size;
            QVERIFY2(BrowserHandOff::judgeProbe(context, served, total) == verdict, served.constData());
            // Only the browser's session can be renewed; a download added by hand keeps the status.
            QCOMPARE(BrowserHandOff::refusalMessage(context, 401).isEmpty(), context.isEmpty());
            QVERIFY(BrowserHandOff::refusalMessage(context, 404).isEmpty());
        }
    }

    void contentRange_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("total");

        QTest::newRow("probe") << QByteArray("bytes 0-0/1234") << 0LL << 0LL << 1234LL;
        QTest::newRow("middle") << QByteArray("bytes 350-499/1000") << 350LL << 499LL << 1000LL;
        QTest::newRow("beyond 4 GiB") << QByteArray("bytes 5000000000-5999999999/6000000000") << 5000000000LL
                                      << 5999999999LL << 6000000000LL;
        QTest::newRow("absent") << QByteArray() << -1LL << -1LL << -1LL;
        QTest::newRow("unknown total") << QByteArray("bytes 0-0/*") << -1LL << -1LL << -1LL;
        QTest::newRow("unsatisfied") << QByteArray("bytes */0") << -1LL << -1LL << -1LL;
        QTest::newRow("end before start") << QByteArray("bytes 5-4/10") << -1LL << -1LL << -1LL;
        QTest::newRow("end at total") << QByteArray("bytes 0-10/10") << -1LL << -1LL << -1LL;
        QTest::newRow("empty resource") << QByteArray("bytes 0-0/0") << -1LL << -1LL << -1LL;
        QTest::newRow("other unit") << QByteArray("items 0-0/10") << -1LL << -1LL << -1LL;
        QTest::newRow("surrounding blanks") << QByteArray(" bytes 0-0/10") << -1LL << -1LL << -1LL;
        QTest::newRow("trailing text") << QByteArray("bytes 0-0/10x") << -1LL << -1LL << -1LL;
        QTest::newRow("negative") << QByteArray("bytes -1-0/10") << -1LL << -1LL << -1LL;
        QTest::newRow("overflow") << QByteArray("bytes 0-0/99999999999999999999") << -1LL << -1LL << -1LL;
    }

    void contentRange()
    {
        QFETCH(QByteArray, header);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(qint64, total);
        QCOMPARE(DownloadRules::parseContentRange(header), (ContentRange{start, end, total}));
    }

    void identityEncoding_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("identity");
        QTest::newRow("absent") << QByteArray() << true;
        QTest::newRow("identity") << QByteArray("identity") << true;
        QTest::newRow("upper case with blanks") << QByteArray("  IDENTITY \t") << true;
        QTest::newRow("gzip") << QByteArray("gzip") << false;
        QTest::newRow("br") << QByteArray("br") << false;
        QTest::newRow("list") << QByteArray("identity, gzip") << false;
    }

    void identityEncoding()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, identity);
        QCOMPARE(DownloadRules::isIdentityEncoding(value), identity);
    }

    void plan_data()
    {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<bool>("rangeSupported");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QList<QList<qint64>>>("expected");

        QTest::newRow("even quarters")
            << 1000LL << true << 4 << QList<QList<qint64>>{{0, 249}, {250, 499}, {500, 749}, {750, 999}};
        QTest::newRow("remainder goes last")
            << 1000LL << true << 3 << QList<QList<qint64>>{{0, 332}, {333, 665}, {666, 999}};
        QTest::newRow("fewer bytes than connections")
            << 3LL << true << 8 << QList<QList<qint64>>{{0, 0}, {1, 1}, {2, 2}};
        QList<QList<qint64>> tenByEight;
        for (qint64 i = 0; i < 7; ++i)
            tenByEight.append({i, i});
        tenByEight.append({7, 9});
        QTest::newRow("one-byte ranges and a longer last") << 10LL << true << 8 << tenByEight;
        QList<QList<qint64>> twentyBySixteen;
        for (qint64 i = 0; i < 15; ++i)
            twentyBySixteen.append({i, i});
        twentyBySixteen.append({15, 19});
        QTest::newRow("sixteen over twenty bytes") << 20LL << true << 16 << twentyBySixteen;
        QTest::newRow("no ranges") << 5000LL << false << 8 << QList<QList<qint64>>{{0, 4999}};
        QTest::newRow("unknown size") << -1LL << false << 8 << QList<QList<qint64>>{{0, -2}};
        QTest::newRow("empty") << 0LL << false << 8 << QList<QList<qint64>>{{0, -1}};
        QTest::newRow("one connection") << 7LL << true << 1 << QList<QList<qint64>>{{0, 6}};
    }

    void plan()
    {
        QFETCH(qint64, total);
        QFETCH(bool, rangeSupported);
        QFETCH(int, connections);
        QFETCH(QList<QList<qint64>>, expected);
        const QList<Segment> plan = DownloadRules::planSegments(total, rangeSupported, connections);
        QCOMPARE(bounds(plan), expected);
        for (const Segment &segment : plan) {
            QCOMPARE(segment.received, qint64(0));
            QVERIFY(!segment.reply);
            QVERIFY(!segment.validated);
        }
    }

    // Ticks of 200 ms as the engine makes them, each bringing `pattern[i % size]` bytes; the
    // shown speed after every tick of the last `checkedTicks` must lie within `low`..`high`.
    void smoothedSpeed_data()
    {
        QTest::addColumn<QList<qint64>>("pattern");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("checkedTicks");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");

        // 100 KB/s in one burst per second: every tick after the first burst shows a speed, and
        // once the average covers a few seconds it stays near the true rate.
        QTest::newRow("one burst a second, from the first burst on")
            << QList<qint64>{102400, 0, 0, 0, 0} << 50 << 50 << 0.3 * 102400 << 5.1 * 102400;
        QTest::newRow("one burst a second, settled")
            << QList<qint64>{102400, 0, 0, 0, 0} << 100 << 50 << 0.8 * 102400 << 1.25 * 102400;
        // A steady transfer shows its rate from the first tick.
        QTest::newRow("steady") << QList<qint64>{20000} << 10 << 10 << 99999.0 << 100001.0;
        QTest::newRow("nothing yet") << QList<qint64>{0} << 5 << 5 << 0.0 << 0.0;
    }

    void smoothedSpeed()
    {
        QFETCH(QList<qint64>, pattern);
        QFETCH(int, ticks);
        QFETCH(int, checkedTicks);
        QFETCH(double, low);
        QFETCH(double, high);
        TransferRate::Average average;
        for (int tick = 0; tick < ticks; ++tick) {
            average = TransferRate::advance(average, pattern.at(tick % pattern.size()), 200);
            const double shown = TransferRate::shownSpeed(average);
            if (tick >= ticks - checkedTicks)
                QVERIFY2(shown >= low && shown <= high,
                         qPrintable(QStringLiteral("tick %1: %2").arg(tick).arg(shown)));
        }
    }

    // A stalled transfer falls to nothing within a minute instead of showing a dwindling crawl for
    // ever, and a tick without time (two ticks at once) changes nothing.
    void smoothedSpeedAfterAStall()
    {
        TransferRate::Average average;
        for (int tick = 0; tick < 25; ++tick)
            average = TransferRate::advance(average, 100000, 200);
        QCOMPARE(TransferRate::advance(average, 5000, 0).bytesPerSecond, average.bytesPerSecond);
        int ticksToZero = 0;
        while (TransferRate::shownSpeed(average) > 0 && ticksToZero < 1000) {
            average = TransferRate::advance(average, 0, 200);
            ++ticksToZero;
        }
        QVERIFY(ticksToZero > 5 && ticksToZero < 300);
    }

    // Large files must be covered exactly, with no range lost to rounding.
    void largePlanCoversEveryByte()
    {
        const qint64 total = 10'000'000'007LL;
        const QList<Segment> plan = DownloadRules::planSegments(total, true, 16);
        QCOMPARE(plan.size(), 16);
        qint64 expectedStart = 0;
        for (const Segment &segment : plan) {
            QCOMPARE(segment.start, expectedStart);
            QVERIFY(segment.end >= segment.start);
            expectedStart = segment.end + 1;
        }
        QCOMPARE(expectedStart, total);
    }
};

QTEST_GUILESS_MAIN(TestDownloadRules)
#include "tst_DownloadRules.moc"
