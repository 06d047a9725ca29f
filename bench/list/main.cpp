// Starts the real Rushlet on a generated queue.json of a given size and measures what a user with
// a long download history waits for: the start until the browser bridge answers, one save (a
// browser download arriving while the window is hidden), and the quit; then the program's threads
// and peak memory.

#include "bridge/protocol/BridgeProtocol.h"
#include "engine/DownloadStatus.h"
#include "queue/list/QueueRules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr qint64 completedSize = 10 * 1024 * 1024;
constexpr qint64 pausedSize = 700 * 1024 * 1024;
constexpr int pausedSegments = 16;
constexpr int startLimitMs = 120000;
constexpr int pollIntervalMs = 5;

// A value from /proc/<pid>/status, in kB for the memory fields.
qint64 processStatus(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
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
// disk is not filled) and every `pausedEvery`-th download paused with 16 segments.
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

// One request on a connection of its own; the reply, or an empty object.
QJsonObject exchange(const QJsonObject &request, int timeoutMs)
{
    QLocalSocket socket;
    const QDeadlineTimer deadline(timeoutMs);
    if (!BridgeProtocol::connectToBridge(socket, timeoutMs) ||
        !BridgeProtocol::writeAll(socket, BridgeProtocol::encodeMessage(request), deadline))
        return {};
    return QJsonDocument::fromJson(BridgeProtocol::readReplyLine(socket, deadline).trimmed()).object();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/lb-XXXXXX"));
    if (!scratch.isValid())
        return 1;
    // The program and this tool share a private HOME: the list is never the user's, and both
    // derive the bridge's name from the same data folder.
    const QString home = scratch.filePath(QStringLiteral("home"));
    const QString runtime = scratch.filePath(QStringLiteral("run"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("QT_QPA_PLATFORM", "offscreen");

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Download list benchmark against the real program"));
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
    if (count < 0 || !prepare(files, count, pausedEvery, &paused)) {
        out << "could not prepare the list\n";
        return 1;
    }
    const qint64 fileSize = QFileInfo(QueueRules::queueFilePath()).size();

    QProcess program;
    program.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/Rushlet"));
    program.setArguments({QStringLiteral("--browser-launch")});
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start();
    if (!program.waitForStarted()) {
        out << "Rushlet did not start\n";
        return 1;
    }
    const qint64 pid = program.processId();
    const QJsonObject ping{{QStringLiteral("type"), QStringLiteral("ping")}};
    while (exchange(ping, 1000).value(QStringLiteral("ok")) != QJsonValue(true)) {
        if (program.state() == QProcess::NotRunning || clock.hasExpired(startLimitMs)) {
            out << "Rushlet did not answer on the bridge\n";
            program.kill();
            program.waitForFinished();
            return 1;
        }
        QThread::msleep(pollIntervalMs);
    }
    const qint64 startMs = clock.elapsed();
    const qint64 threadsIdle = processStatus(pid, "Threads");
    const qint64 rssIdle = processStatus(pid, "VmRSS");
    const qint64 rssStartPeak = processStatus(pid, "VmHWM");

    // The browser intake saves the whole list before it replies.
    const QJsonObject download{{QStringLiteral("type"), QStringLiteral("download")},
                               {QStringLiteral("id"), QStringLiteral("bench")},
                               {QStringLiteral("url"), QStringLiteral("https://example.org/bench.zip")}};
    clock.restart();
    const bool saved = exchange(download, startLimitMs).value(QStringLiteral("ok")) == QJsonValue(true);
    const qint64 saveMs = clock.elapsed();

    clock.restart();
    ::kill(pid_t(pid), SIGTERM);
    const bool quit = program.waitForFinished(startLimitMs) && program.exitCode() == 0;
    const qint64 quitMs = clock.elapsed();
    rusage usage = {};
    ::getrusage(RUSAGE_CHILDREN, &usage);

    const QJsonDocument savedList = [] {
        QFile file(QueueRules::queueFilePath());
        return QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }();
    const bool kept = savedList.isArray() && savedList.array().size() == count + 1;

    out << "entries " << count << " (" << (count - paused) << " Completed, " << paused
        << " Paused with 16 segments), queue.json " << fileSize / 1024 << " KiB\n"
        << "start to listening bridge " << startMs << " ms\n"
        << "one save (browser download while hidden) " << saveMs << " ms" << (saved ? "" : " FAILED") << "\n"
        << "quit (SIGTERM to exit) " << quitMs << " ms" << (quit ? "" : " FAILED") << "\n"
        << "threads " << threadsIdle << ", RSS when idle " << rssIdle / 1024 << " MiB, peak RSS by then "
        << rssStartPeak / 1024 << " MiB, peak RSS with the save and quit " << usage.ru_maxrss / 1024
        << " MiB\n"
        << "list after quit " << (kept ? "complete" : "WRONG") << "\n";
    return saved && quit && kept ? 0 : 1;
}
