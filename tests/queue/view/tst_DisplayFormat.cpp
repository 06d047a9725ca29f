#include "engine/DownloadStatus.h"
#include "queue/view/DisplayFormat.h"
#include "queue/view/ListTotals.h"

#include <QTest>

#include <cmath>
#include <limits>

using DisplayFormat::untranslated;

namespace {

DownloadSnapshot transfer(const QString &status, qint64 received, qint64 total, double speed = 0)
{
    DownloadSnapshot snapshot;
    snapshot.id = QStringLiteral("x");
    snapshot.status = status;
    snapshot.received = received;
    snapshot.total = total;
    snapshot.speed = speed;
    return snapshot;
}

QString marked(const QString &english)
{
    return QLatin1Char('[') + english + QLatin1Char(']');
}

} // namespace

class TestDisplayFormat : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << qint64(-1) << QStringLiteral("Unknown");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0 B");
        QTest::newRow("largest in bytes") << qint64(1023) << QStringLiteral("1023 B");
        QTest::newRow("one kilobyte") << qint64(1024) << QStringLiteral("1.0 KB");
        QTest::newRow("half") << qint64(1536) << QStringLiteral("1.5 KB");
        QTest::newRow("just under a megabyte") << qint64(1048575) << QStringLiteral("1024.0 KB");
        QTest::newRow("one megabyte") << qint64(1048576) << QStringLiteral("1.0 MB");
        QTest::newRow("beyond terabytes stays in TB")
            << std::numeric_limits<qint64>::max() << QStringLiteral("8388608.0 TB");
    }

    void sizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DisplayFormat::formatSize(bytes, untranslated), text);
    }

    void speeds_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("total");
        QTest::newRow("fraction truncated")
            << 1536.7 << QStringLiteral("1.5 KB/s") << QStringLiteral("↓ 1.5 KB/s");
        QTest::newRow("still") << 0.0 << QStringLiteral("—") << QStringLiteral("↓ 0 B/s");
        QTest::newRow("not a number") << std::nan("") << QStringLiteral("—") << QStringLiteral("↓ 0 B/s");
    }

    void speeds()
    {
        QFETCH(double, speed);
        QFETCH(QString, column);
        QFETCH(QString, total);
        QCOMPARE(DisplayFormat::formatSpeed(speed, untranslated), column);
        QCOMPARE(DisplayFormat::formatTotalSpeed(speed), total);
    }

    // A speed no integer can hold must not reach the conversion to one.
    void absurdSpeedStaysInTerabytes()
    {
        const double infinite = std::numeric_limits<double>::infinity();
        QVERIFY(DisplayFormat::formatSpeed(infinite, untranslated).endsWith(QStringLiteral(" TB/s")));
        QVERIFY(DisplayFormat::formatTotalSpeed(infinite).endsWith(QStringLiteral(" TB/s")));
    }

    void remaining_data()
    {
        QTest::addColumn<qint64>("left");
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << qint64(45) << 1.0 << QStringLiteral("45 sec");
        QTest::newRow("rounded up to a minute") << qint64(592) << 10.0 << QStringLiteral("1m 0s");
        QTest::newRow("minutes") << qint64(127) << 1.0 << QStringLiteral("2m 7s");
        QTest::newRow("last second before an hour") << qint64(3599) << 1.0 << QStringLiteral("59m 59s");
        QTest::newRow("one hour") << qint64(3600) << 1.0 << QStringLiteral("1h 0m");
        QTest::newRow("hours and minutes") << qint64(3900) << 1.0 << QStringLiteral("1h 5m");
        QTest::newRow("nothing left") << qint64(0) << 100.0 << QStringLiteral("0 sec");
        QTest::newRow("still") << qint64(10) << 0.0 << QStringLiteral("—");
        QTest::newRow("not a number") << qint64(10) << std::nan("") << QStringLiteral("—");
        QTest::newRow("beyond a lifetime")
            << std::numeric_limits<qint64>::max() << 1e-300 << QStringLiteral("—");
    }

    void remaining()
    {
        QFETCH(qint64, left);
        QFETCH(double, speed);
        QFETCH(QString, text);
        const qint64 received = 1000;
        QCOMPARE(DisplayFormat::formatRemaining(
                     transfer(DownloadStatus::Downloading, received,
                              left == std::numeric_limits<qint64>::max() ? left : received + left, speed),
                     untranslated),
                 text);
    }

    void remainingNeedsAKnownSize()
    {
        QCOMPARE(
            DisplayFormat::formatRemaining(transfer(DownloadStatus::Downloading, 10, -1, 100), untranslated),
            QStringLiteral("—"));
        // Templates are looked up before their numbers are filled in.
        QCOMPARE(DisplayFormat::formatRemaining(transfer(DownloadStatus::Downloading, 0, 3900, 1), marked),
                 QStringLiteral("[1h 5m]"));
    }

    void percents_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("table");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("details");
        QTest::newRow("unknown size") << DownloadStatus::Downloading << qint64(500) << qint64(-1) << -1
                                      << QStringLiteral("—") << QStringLiteral("—");
        QTest::newRow("empty file not finished") << DownloadStatus::Queued << qint64(0) << qint64(0) << -1
                                                 << QStringLiteral("—") << QStringLiteral("—");
        QTest::newRow("empty file finished") << DownloadStatus::Completed << qint64(0) << qint64(0) << 100
                                             << QStringLiteral("100%") << QStringLiteral("100%");
        QTest::newRow("not started") << DownloadStatus::Paused << qint64(0) << qint64(1000) << 0
                                     << QStringLiteral("0%") << QStringLiteral("0.0%");
        QTest::newRow("truncated and one decimal") << DownloadStatus::Paused << qint64(425) << qint64(1000)
                                                   << 42 << QStringLiteral("42%") << QStringLiteral("42.5%");
        QTest::newRow("huge counts do not overflow")
            << DownloadStatus::Downloading << std::numeric_limits<qint64>::max() / 2
            << std::numeric_limits<qint64>::max() << 50 << QStringLiteral("50%") << QStringLiteral("50.0%");
        QTest::newRow("more received than the size keeps the bar full")
            << DownloadStatus::Downloading << qint64(1500) << qint64(1000) << 100 << QStringLiteral("100%")
            << QStringLiteral("150.0%");
    }

    void percents()
    {
        QFETCH(QString, status);
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(int, table);
        QFETCH(QString, bar);
        QFETCH(QString, details);
        const DownloadSnapshot snapshot = transfer(status, received, total);
        QCOMPARE(DisplayFormat::tablePercent(snapshot), table);
        QCOMPARE(DisplayFormat::percentLabel(table), bar);
        QCOMPARE(DisplayFormat::detailedPercent(snapshot), details);
    }

    // The sentences of the details pane, one row per state that changes them.
    void detailLines_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("resumable");
        QTest::addColumn<int>("segments");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("resume");
        QTest::addColumn<QString>("activity");
        const QString notChecked = QStringLiteral("Resume support: not checked");
        const QString supported = QStringLiteral("Resume supported");
        const QString unavailable = QStringLiteral("Resume unavailable · restarts after pausing");
        QTest::newRow("queued, never connected") << DownloadStatus::Queued << false << 0 << 8 << notChecked
                                                 << QStringLiteral("Ready to start when you are.");
        QTest::newRow("one segment") << DownloadStatus::Downloading << true << 1 << 1 << supported
                                     << QStringLiteral("Speed  1.0 KB/s     ·     Remaining  1 sec");
        QTest::newRow("paused and resumable")
            << DownloadStatus::Paused << true << 4 << 4 << supported
            << QStringLiteral("Paused — your downloaded progress is saved.");
        QTest::newRow("paused on a server without ranges")
            << DownloadStatus::Paused << false << 1 << 1 << unavailable
            << QStringLiteral("Paused — this server requires restarting the download.");
        QTest::newRow("paused before the first probe")
            << DownloadStatus::Paused << false << 0 << 8 << notChecked
            << QStringLiteral("Ready to reconnect and check resume support.");
        QTest::newRow("retrying") << DownloadStatus::Retrying << true << 2 << 2 << supported
                                  << QStringLiteral("Waiting to reconnect. Pause to cancel automatic retry.");
        QTest::newRow("completed") << DownloadStatus::Completed << true << 2 << 2 << supported
                                   << QStringLiteral("Download complete. Your file is ready.");
        QTest::newRow("awaiting confirmation")
            << DownloadStatus::AwaitingConfirmation << false << 0 << 8 << notChecked << QString();
        QTest::newRow("unknown status")
            << QStringLiteral("Unknown status") << false << 0 << 8 << notChecked << QString();
    }

    void detailLines()
    {
        QFETCH(QString, status);
        QFETCH(bool, resumable);
        QFETCH(int, segments);
        QFETCH(int, connections);
        QFETCH(QString, resume);
        QFETCH(QString, activity);
        DownloadSnapshot snapshot = transfer(status, 1000, 2024, 1024);
        snapshot.resumable = resumable;
        for (int i = 0; i < segments; ++i)
            snapshot.segments.append(SegmentProgress{i * 506, i * 506 + 505, 250});
        QCOMPARE(DisplayFormat::connectionCount(snapshot), connections);
        QCOMPARE(DisplayFormat::resumeSupportText(snapshot, untranslated), resume);
        QCOMPARE(DisplayFormat::activityText(snapshot, untranslated), activity);
    }

    void segmentBars()
    {
        QCOMPARE(DisplayFormat::segmentPermille(SegmentProgress{100, 199, 42}), 420);
        QCOMPARE(DisplayFormat::segmentPermille(SegmentProgress{100, 99, 42}), 0);
        QCOMPARE(DisplayFormat::segmentToolTip(SegmentProgress{0, 2047, 1024}, untranslated),
                 QStringLiteral("1.0 KB of 2.0 KB"));
        QCOMPARE(DisplayFormat::progressText(transfer(DownloadStatus::Paused, 512, -1), untranslated),
                 QStringLiteral("512 B / Unknown downloaded"));
    }

    // The status bar's totals follow reports without walking the list: a download that stops
    // must leave both the active count and the speed.
    void totalsFollowReports()
    {
        ListTotals totals;
        DownloadSnapshot first = transfer(DownloadStatus::Downloading, 0, 100, 1000);
        DownloadSnapshot second = transfer(DownloadStatus::Connecting, 0, 100, 24);
        second.id = QStringLiteral("y");
        DownloadSnapshot finished = transfer(DownloadStatus::Completed, 100, 100);
        finished.id = QStringLiteral("z");
        totals.reset({first, second, finished});
        QCOMPARE(totals.activeCount(), 2);
        QCOMPARE(totals.speed(), 1024.0);

        first.status = DownloadStatus::Paused;
        first.speed = 0;
        totals.update(first);
        QCOMPARE(totals.activeCount(), 1);
        QCOMPARE(totals.speed(), 24.0);

        totals.reset({});
        QCOMPARE(totals.activeCount(), 0);
        QCOMPARE(totals.speed(), 0.0);
    }
};

QTEST_GUILESS_MAIN(TestDisplayFormat)
#include "tst_DisplayFormat.moc"
