// The main window at scale: 10,000 listed downloads, of which 16 report progress every 200 ms
// from engines on their own threads, on the offscreen platform with the window shown. Measures
// the GUI thread's busy share while the reports arrive and the time one refresh takes, for the
// window as built (coalesced refreshes that touch only the rows that changed) and, in the same
// run, for a window that rebuilds every row on every report.

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"
#include "engine/DownloadStatus.h"
#include "queue/list/DownloadList.h"
#include "queue/window/CategorySidebar.h"
#include "queue/window/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <memory>

namespace {

constexpr int reportIntervalMs = 200;
constexpr qint64 fileSize = qint64(700) << 20;

// Reports progress every 200 ms once started, like an engine in the middle of a transfer.
class ReportingEngine : public QObject
{
    Q_OBJECT

public:
    explicit ReportingEngine(const DownloadSpec &spec)
    {
        state.id = spec.id;
        state.url = spec.url;
        state.destination = spec.destination;
        state.connections = spec.connections;
        state.total = fileSize;
        for (int i = 0; i < 8; ++i)
            state.segments.append(SegmentProgress{i * fileSize / 8, (i + 1) * fileSize / 8 - 1, 0});
    }

signals:
    void updated(const DownloadSnapshot &snapshot);

public slots:
    void start()
    {
        state.status = DownloadStatus::Downloading;
        if (!timer) {
            timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, &ReportingEngine::report);
        }
        timer->start(reportIntervalMs);
    }

    void pause()
    {
        if (timer)
            timer->stop();
        state.status = DownloadStatus::Paused;
        state.speed = 0;
        emit updated(state);
    }

private:
    void report()
    {
        state.speed = 2.5e6 + (state.received % 7) * 1e5;
        for (SegmentProgress &segment : state.segments)
            segment.received = std::min(segment.end - segment.start + 1, segment.received + 62500);
        state.received = 0;
        for (const SegmentProgress &segment : state.segments)
            state.received += segment.received;
        emit updated(state);
    }

    DownloadSnapshot state;
    QTimer *timer = nullptr;
};

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void runEvents(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

DownloadSnapshot listed(int index, const QString &folder)
{
    DownloadSnapshot snapshot;
    snapshot.id = QStringLiteral("download-%1").arg(index, 5, 10, QLatin1Char('0'));
    snapshot.url = QUrl(QStringLiteral("https://downloads.example.com/file-%1.bin").arg(index));
    snapshot.destination = QStringLiteral("%1/file-%2.bin").arg(folder).arg(index);
    snapshot.total = fileSize;
    snapshot.status = index % 20 == 0 ? DownloadStatus::Paused : DownloadStatus::Completed;
    snapshot.received = snapshot.status == DownloadStatus::Completed ? fileSize : fileSize / 2;
    return snapshot;
}

struct Figures
{
    double busyShare = 0;
    int reports = 0;
};

// Lets the started engines report for `seconds` and measures the GUI thread meanwhile.
Figures measureReports(DownloadList &list, int seconds)
{
    int reports = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&list, &DownloadList::downloadUpdated, &list, [&reports] { ++reports; });
    const double cpuBefore = threadSeconds();
    QElapsedTimer wall;
    wall.start();
    runEvents(seconds * 1000);
    const double cpu = threadSeconds() - cpuBefore;
    const double elapsed = double(wall.elapsed()) / 1000;
    QObject::disconnect(counting);
    return {cpu / elapsed, reports};
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the main window with a long list."));
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("downloads"), QStringLiteral("Listed downloads."),
                                         QStringLiteral("count"), QStringLiteral("10000"));
    const QCommandLineOption activeOption(QStringLiteral("active"), QStringLiteral("Reporting downloads."),
                                          QStringLiteral("count"), QStringLiteral("16"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Length of each phase."),
                                           QStringLiteral("seconds"), QStringLiteral("10"));
    parser.addOptions({countOption, activeOption, secondsOption});
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int active = std::min(count, parser.value(activeOption).toInt());
    const int seconds = parser.value(secondsOption).toInt();

    QTemporaryDir home;
    for (const char *variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, home.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    registerDownloadMetaTypes();
    QTextStream out(stdout);

    MainWindow window([](const DownloadSpec &spec) { return new ReportingEngine(spec); });
    DownloadList &list = *window.downloads();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        list.addDownload(listed(i, home.path()));
    const qint64 addMs = timer.elapsed();
    window.show();
    timer.restart();
    runEvents(0);
    window.refreshView();
    const qint64 firstFillMs = timer.elapsed();
    runEvents(500);
    out << "downloads " << count << ", reporting " << active << ", phases of " << seconds << " s\n";
    out << "adding to the list " << addMs << " ms; first fill of the table " << firstFillMs << " ms\n";

    // One refresh of every row: unchanged rows, then a category switch that rewrites them.
    QList<double> unchanged;
    QList<double> switched;
    for (int round = 0; round < 9; ++round) {
        timer.restart();
        window.refreshView();
        unchanged.append(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        window.categorySidebar()->setCurrentRow(round % 2 == 0 ? 4 : 0);
        switched.append(double(timer.nsecsElapsed()) / 1e6);
    }
    window.categorySidebar()->setCurrentRow(0);
    out << "full refresh, rows unchanged: median " << median(unchanged) << " ms\n";
    out << "category switch (Completed <-> All files): median " << median(switched) << " ms\n";

    // The reporting downloads are the first rows, in view, so their repaints count too.
    for (int i = 0; i < active; ++i)
        list.startDownload(listed(i, home.path()).id);
    runEvents(1000);
    const Figures coalesced = measureReports(list, seconds);
    out << "as built: GUI thread busy " << coalesced.busyShare * 100 << " % of one core, "
        << coalesced.reports << " reports, "
        << (coalesced.busyShare * seconds * 1000 / std::max(1, coalesced.reports)) << " ms per report\n";

    // The same reports, each answered by a full rebuild of every row.
    const QMetaObject::Connection rebuild =
        QObject::connect(&list, &DownloadList::downloadUpdated, &window, [&window] { window.refreshView(); });
    const Figures full = measureReports(list, seconds);
    QObject::disconnect(rebuild);
    out << "rebuild per report: GUI thread busy " << full.busyShare * 100 << " % of one core, "
        << full.reports << " reports, " << (full.busyShare * seconds * 1000 / std::max(1, full.reports))
        << " ms per report\n";
    out << "busy share as built / rebuild per report: " << coalesced.busyShare / full.busyShare << '\n';

    list.pauseAll();
    runEvents(200);
    window.shutdown();
    return 0;
}

#include "main.moc"
