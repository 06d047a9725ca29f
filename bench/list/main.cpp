// Loads and saves a generated queue.json of a given size with the real list, engines and worker
// threads, and prints how long each step took and how much memory the process needed.

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "queue/DownloadList.h"
#include "queue/QueueRules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

constexpr qint64 completedSize = 10 * 1024 * 1024;
constexpr qint64 pausedSize = 700 * 1024 * 1024;
constexpr int pausedSegments = 16;

// A value from /proc/self/status, in kB for the memory fields.
qint64 processStatus(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

DownloadSnapshot pausedDownload(const QString &id, const QString &destination)
{
    DownloadSnapshot snapshot;
    snapshot.id = id;
    snapshot.url =
        QUrl(QStringLiteral("https://downloads.example.org/images/") + id + QStringLiteral(".iso"));
    snapshot.destination = destination;
    snapshot.connections = pausedSegments;
    snapshot.status = DownloadStatus::Paused;
    snapshot.total = pausedSize;
    snapshot.resumable = true;
    const qint64 length = pausedSize / pausedSegments;
    for (int i = 0; i < pausedSegments; ++i) {
        const qint64 start = i * length;
        const qint64 end = i == pausedSegments - 1 ? pausedSize - 1 : start + length - 1;
        snapshot.segments.append(SegmentProgress{start, end, (end - start + 1) / 3});
        snapshot.received += (end - start + 1) / 3;
    }
    return snapshot;
}

DownloadSnapshot completedDownload(const QString &id, const QString &destination)
{
    DownloadSnapshot snapshot;
    snapshot.id = id;
    snapshot.url = QUrl(QStringLiteral("https://downloads.example.org/files/") + id + QStringLiteral(".zip"));
    snapshot.destination = destination;
    snapshot.status = DownloadStatus::Completed;
    snapshot.total = completedSize;
    snapshot.received = completedSize;
    snapshot.resumable = true;
    snapshot.segments.append(SegmentProgress{0, completedSize - 1, completedSize});
    return snapshot;
}

// Writes the list a long-used installation would have: completed files on disk (sparse, so the
// disk is not filled) and every `pausedEvery`-th download paused halfway with 16 segments.
bool prepare(const QString &folder, int count, int pausedEvery, int *paused)
{
    QList<DownloadSnapshot> snapshots;
    *paused = 0;
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0'));
        const QString destination = folder + QStringLiteral("/file-%1.bin").arg(i);
        if (i % pausedEvery == 0) {
            snapshots.append(pausedDownload(id, destination));
            ++*paused;
            continue;
        }
        QFile file(destination);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(completedSize))
            return false;
        snapshots.append(completedDownload(id, destination));
    }
    const QByteArray document = QueueRules::writeQueue(snapshots);
    QDir().mkpath(QFileInfo(QueueRules::queueFilePath()).absolutePath());
    QFile file(QueueRules::queueFilePath());
    return file.open(QIODevice::WriteOnly) && file.write(document) == document.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    // The list lives in its own data folder, never the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("data"))));

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    registerDownloadMetaTypes();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Download list load and save benchmark"));
    parser.addHelpOption();
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Downloads in the list."),
                                         QStringLiteral("n"), QStringLiteral("1000"));
    const QCommandLineOption pausedOption(QStringLiteral("paused-every"),
                                          QStringLiteral("Every n-th download is paused with 16 segments."),
                                          QStringLiteral("n"), QStringLiteral("20"));
    parser.addOption(countOption);
    parser.addOption(pausedOption);
    parser.process(app);
    const int count = parser.value(countOption).toInt();
    const int pausedEvery = qMax(1, parser.value(pausedOption).toInt());

    QTextStream out(stdout);
    const QString files = scratch.filePath(QStringLiteral("files"));
    QDir().mkpath(files);
    int paused = 0;
    if (count <= 0 || !prepare(files, count, pausedEvery, &paused)) {
        out << "could not prepare the list\n";
        return 1;
    }
    const qint64 fileSize = QFileInfo(QueueRules::queueFilePath()).size();
    const qint64 rssBefore = processStatus("VmRSS");
    const qint64 threadsBefore = processStatus("Threads");

    // What loading costs without any thread or engine: the floor for creating them on demand.
    QElapsedTimer clock;
    clock.start();
    {
        QFile file(QueueRules::queueFilePath());
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        for (const DownloadSnapshot &snapshot : QueueRules::readQueue(file.readAll()).snapshots)
            QueueRules::repairAgainstDisk(snapshot);
    }
    const qint64 parseMs = clock.elapsed();

    DownloadList list;
    clock.restart();
    list.loadQueue();
    const qint64 loadMs = clock.elapsed();
    const qint64 threadsLoaded = processStatus("Threads") - threadsBefore;
    const qint64 rssLoaded = processStatus("VmRSS");

    clock.restart();
    const bool saved = list.saveQueue();
    const qint64 saveMs = clock.elapsed();

    clock.restart();
    list.shutdown();
    const qint64 shutdownMs = clock.elapsed();

    out << "entries " << count << " (" << (count - paused) << " Completed, " << paused
        << " Paused with 16 segments), loaded " << list.count() << "\n"
        << "queue.json " << fileSize / 1024 << " KiB\n"
        << "read and repair only " << parseMs << " ms\n"
        << "load " << loadMs << " ms (threads started " << threadsLoaded << ")\n"
        << "save " << saveMs << " ms" << (saved ? "" : " FAILED") << "\n"
        << "shutdown " << shutdownMs << " ms (stop every engine, then save)\n"
        << "memory: RSS before load " << rssBefore / 1024 << " MiB, after load " << rssLoaded / 1024
        << " MiB, peak " << processStatus("VmHWM") / 1024 << " MiB\n";
    return saved && list.count() == count ? 0 : 1;
}
