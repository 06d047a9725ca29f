#include "engine/DownloadMetaTypes.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"
#include "tools/rushlet-get/GetSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr int runTimeoutMs = 120000;

QByteArray randomBytes(qint64 size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

QByteArray sha256OfFile(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct Checkpoint
{
    bool valid = false;
    qint64 total = -1;
    qint64 received = 0;
    QList<std::array<qint64, 3>> segments; // start, end, received
};

Checkpoint readCheckpoint(const QString &destination)
{
    Checkpoint checkpoint;
    QFile file(destination + QStringLiteral(".rushlet.json"));
    if (!file.open(QIODevice::ReadOnly))
        return checkpoint;
    const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
    checkpoint.valid = object.value(QStringLiteral("version")).toInt() == 1;
    checkpoint.total = object.value(QStringLiteral("total")).toString().toLongLong();
    const QJsonArray segments = object.value(QStringLiteral("segments")).toArray();
    for (const QJsonValue &value : segments) {
        const QJsonObject segment = value.toObject();
        const std::array<qint64, 3> entry = {
            segment.value(QStringLiteral("start")).toString().toLongLong(),
            segment.value(QStringLiteral("end")).toString().toLongLong(),
            segment.value(QStringLiteral("received")).toString().toLongLong()};
        checkpoint.segments.append(entry);
        checkpoint.received += entry[2];
    }
    return checkpoint;
}

qint64 bytesServed(const QList<NginxServer::LogEntry> &entries)
{
    qint64 sum = 0;
    for (const NginxServer::LogEntry &entry : entries)
        sum += entry.bodyBytes;
    return sum;
}

// The Range headers of the entries, sorted.
QByteArrayList ranges(const QList<NginxServer::LogEntry> &entries)
{
    QByteArrayList result;
    for (const NginxServer::LogEntry &entry : entries)
        result.append(entry.range);
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace

class TestRushletGet : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    QString downloads;

    // Serves `bytes` under `name` from nginx's document root and returns its hash.
    QByteArray serve(const NginxServer &nginx, const QString &name, const QByteArray &bytes)
    {
        if (!writeFile(nginx.documentRoot() + QLatin1Char('/') + name, bytes))
            return {};
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    }

    QString destination(const QString &name) const { return downloads + QLatin1Char('/') + name; }

    bool startGet(TestProgram &program, const QStringList &arguments,
                  const QProcessEnvironment &extra = QProcessEnvironment())
    {
        QProcessEnvironment processEnvironment = environment.processEnvironment();
        processEnvironment.insert(extra);
        program.process().setWorkingDirectory(downloads);
        return program.start(arguments, processEnvironment);
    }

    // Runs to the end; the exit code, or -1 when it did not end by itself in time.
    int runGet(const QStringList &arguments, QByteArray *errorOutput = nullptr,
               const QProcessEnvironment &extra = QProcessEnvironment())
    {
        TestProgram program(QStringLiteral("rushlet-get"));
        if (!startGet(program, arguments, extra) || !program.waitForExit(runTimeoutMs) ||
            program.exitStatus() != QProcess::NormalExit)
            return -1;
        if (errorOutput)
            *errorOutput = program.standardError();
        return program.exitCode();
    }

    // Waits until a periodic checkpoint records more than `atLeast` bytes, which happens at most every
    // couple of seconds while data flows.
    static bool waitForCheckpointBeyond(const QString &destination, qint64 atLeast)
    {
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            if (readCheckpoint(destination).received > atLeast)
                return true;
            QTest::qWait(50);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        QVERIFY(QFileInfo::exists(NginxServer::program()));
        QVERIFY(QFileInfo::exists(TestProgram::path(QStringLiteral("rushlet-get"))));
    }

    void init()
    {
        downloads =
            environment.scratch() + QLatin1Char('/') + QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            downloads += QLatin1Char('-') + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
        QVERIFY(QDir().mkpath(downloads));
    }

    // A bad command line is a usage error; a failure is the engine's sentence alone when quiet.
    void commandLine()
    {
        QByteArray errors;
        QCOMPARE(runGet({}, &errors), 2);
        QVERIFY2(errors.contains("Usage: rushlet-get"), errors.constData());
        QCOMPARE(runGet({QStringLiteral("-c"), QStringLiteral("x"), QStringLiteral("http://127.0.0.1:1/f")}),
                 2);
        QCOMPARE(runGet({QStringLiteral("--bogus"), QStringLiteral("http://127.0.0.1:1/f")}), 2);

        QVERIFY(writeFile(destination(QStringLiteral("taken.bin")), "mine"));
        // Quiet means quiet: not even what Qt was asked to report reaches the user.
        QProcessEnvironment chatty;
        chatty.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
        QCOMPARE(runGet({QStringLiteral("-q"), QStringLiteral("-o"), QStringLiteral("taken.bin"),
                         QStringLiteral("http://127.0.0.1:1/f")},
                        &errors, chatty),
                 1);
        QCOMPARE(errors, QByteArray("The destination file already exists. Choose a different file name.\n"));
        QCOMPARE(sha256OfFile(destination(QStringLiteral("taken.bin"))),
                 QCryptographicHash::hash("mine", QCryptographicHash::Sha256).toHex());
    }

    void progressOutput_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected"); // a pattern the whole of standard error matches
        const QString target = QStringLiteral(" -c 2 -o out.bin URL 2>&1 >/dev/null");
        // One line per status change and per tenth of the file, each a line of its own.
        QTest::newRow("asked for in a pipe")
            << QStringLiteral("PROGRAM --progress") + target
            << QStringLiteral("([ \\d]{2}[\\d?]%  [^\r\n]*\n){3,}100%  [^\r\n]* Completed\n");
        // On a terminal 30 columns wide: one line redrawn in place, never wider than the terminal.
        QTest::newRow("terminal") << QStringLiteral("script -qec 'stty cols 30; PROGRAM") + target +
                                         QStringLiteral("' /dev/null")
                                  << QStringLiteral("(\r\x1b\\[K[^\r\n]{1,29}){3,}\r\n");
    }

    // Progress in a pipe only when asked, as whole lines; on a terminal redrawn in place.
    void progressOutput()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        NginxServer nginx;
        NginxServer::Options options;
        options.limitRate = 1 * MiB;
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        const QByteArray hash = serve(nginx, QStringLiteral("p.bin"), randomBytes(3 * MiB, 61));

        command.replace(QStringLiteral("PROGRAM"), TestProgram::path(QStringLiteral("rushlet-get")));
        command.replace(QStringLiteral("URL"), nginx.url(QStringLiteral("/p.bin")).toString());
        QProcess shell;
        shell.setProcessEnvironment(environment.processEnvironment());
        shell.setWorkingDirectory(downloads);
        shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        QVERIFY(shell.waitForFinished(runTimeoutMs));
        QCOMPARE(shell.exitCode(), 0);
        const QString output = QString::fromUtf8(shell.readAllStandardOutput());
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(output).hasMatch(),
                 qPrintable(output.toUtf8().toPercentEncoding(" %")));
        QCOMPARE(sha256OfFile(destination(QStringLiteral("out.bin"))), hash);
    }

    void outcomeBeforeSignal_data()
    {
        QTest::addColumn<bool>("completes");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("completed") << true << 0;
        QTest::newRow("failed") << false << 1;
    }

    // A signal that arrives as the download ends pauses nothing: the ending that came first is the
    // one reported, once.
    void outcomeBeforeSignal()
    {
        QFETCH(bool, completes);
        QFETCH(int, exitCode);
        registerDownloadMetaTypes();
        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        serve(nginx, QStringLiteral("e.bin"), randomBytes(64 * 1024, 71));
        DownloadSpec spec;
        spec.id = QStringLiteral("1");
        spec.url = nginx.url(QStringLiteral("/e.bin"));
        spec.destination = destination(QStringLiteral("e.bin"));
        spec.connections = 2;
        // A taken destination fails within the engine's start, before the pause can run.
        if (!completes)
            QVERIFY(writeFile(spec.destination, "mine"));

        GetSession session(spec, GetSession::Output{GetSession::Progress::None, false});
        QSignalSpy finished(&session, &GetSession::finished);
        session.start();
        if (completes) {
            // Without running this thread's event loop, so that the completion waits undelivered.
            QDeadlineTimer deadline(runTimeoutMs);
            while (!QFileInfo::exists(spec.destination) && !deadline.hasExpired())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            QVERIFY(QFileInfo::exists(spec.destination));
        }
        session.stopForSignal(SIGINT);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), exitCode);
    }

    void connections_data()
    {
        QTest::addColumn<int>("connections");
        QTest::newRow("1") << 1;
        QTest::newRow("4") << 4;
        QTest::newRow("16") << 16;
    }

    // Whatever the number of connections, the file on disk is the served file, the sidecars are gone,
    // and each connection asked for its own range.
    void connections()
    {
        QFETCH(int, connections);
        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        const QByteArray hash = serve(nginx, QStringLiteral("data file.bin"), randomBytes(24 * MiB + 3, 7));

        QByteArray errors;
        QCOMPARE(runGet({QStringLiteral("-c"), QString::number(connections),
                         nginx.url(QStringLiteral("/data%20file.bin")).toString()},
                        &errors),
                 0);
        QCOMPARE(sha256OfFile(destination(QStringLiteral("data file.bin"))), hash);
        QCOMPARE(QDir(downloads).entryList(QDir::Files), QStringList{QStringLiteral("data file.bin")});
        // Standard error is no terminal here: no progress unless asked for.
        QCOMPARE(errors, QByteArray());

        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), connections + 1, 20000);
        const QList<NginxServer::LogEntry> log = nginx.accessLog();
        QCOMPARE(log.first().range, QByteArray("bytes=0-0"));
        QCOMPARE(log.first().userAgent, QByteArray("Rushlet/1.1.0"));
        const QByteArrayList segmentRanges = ranges(log.mid(1));
        QCOMPARE(segmentRanges.size(), connections);
        QVERIFY(std::adjacent_find(segmentRanges.cbegin(), segmentRanges.cend()) == segmentRanges.cend());
        QCOMPARE(bytesServed(log.mid(1)), 24 * MiB + 3);
    }

    // SIGTERM pauses: the checkpoint holds what arrived, and the next run asks only for the rest,
    // each segment from where it stopped.
    void pauseAndResume()
    {
        NginxServer nginx;
        NginxServer::Options options;
        options.limitRate = 2 * MiB;
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        const qint64 size = 64 * MiB;
        const QByteArray hash = serve(nginx, QStringLiteral("big.bin"), randomBytes(size, 11));
        const QString url = nginx.url(QStringLiteral("/big.bin")).toString();
        const QString target = destination(QStringLiteral("big.bin"));

        {
            TestProgram first(QStringLiteral("rushlet-get"));
            QVERIFY(startGet(first, {QStringLiteral("-c"), QStringLiteral("4"), url}));
            QVERIFY(waitForCheckpointBeyond(target, 0));
            first.terminate();
            QVERIFY(first.waitForExit(30000));
            QCOMPARE(first.exitStatus(), QProcess::NormalExit);
            QCOMPARE(first.exitCode(), 143);
            QVERIFY2(first.standardError().contains("Paused"), first.standardError().constData());
        }
        const Checkpoint paused = readCheckpoint(target);
        QVERIFY(paused.valid);
        QCOMPARE(paused.total, size);
        QCOMPARE(paused.segments.size(), 4);
        QVERIFY(paused.received > 0 && paused.received < size);
        QVERIFY(!QFileInfo::exists(target));
        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 5, 20000);

        QCOMPARE(runGet({QStringLiteral("-c"), QStringLiteral("4"), url}), 0);
        QCOMPARE(sha256OfFile(target), hash);
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".rushlet.json")));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".rushlet.part")));

        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 10, 20000);
        const QList<NginxServer::LogEntry> resumed = nginx.accessLog().mid(6);
        QByteArrayList expected;
        for (const auto &[start, end, received] : paused.segments)
            expected.append("bytes=" + QByteArray::number(start + received) + "-" + QByteArray::number(end));
        std::sort(expected.begin(), expected.end());
        QCOMPARE(ranges(resumed), expected);
        QCOMPARE(bytesServed(resumed), size - paused.received);
    }

    // A new version of the file on the server (a new ETag) is never joined to the old bytes: the
    // resumed download starts again from 0 and ends with the new content.
    void fileReplacedWhilePaused()
    {
        NginxServer nginx;
        NginxServer::Options options;
        options.limitRate = 2 * MiB;
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        const qint64 size = 32 * MiB;
        serve(nginx, QStringLiteral("v.bin"), randomBytes(size, 21));
        const QString url = nginx.url(QStringLiteral("/v.bin")).toString();
        const QString target = destination(QStringLiteral("v.bin"));
        {
            TestProgram first(QStringLiteral("rushlet-get"));
            QVERIFY(startGet(first, {QStringLiteral("-c"), QStringLiteral("4"), url}));
            QVERIFY(waitForCheckpointBeyond(target, 0));
            first.terminate();
            QVERIFY(first.waitForExit(30000));
            QCOMPARE(first.exitCode(), 143);
        }
        QVERIFY(readCheckpoint(target).received > 0);

        // Same size, other bytes, a later modification time: nginx's ETag changes with it.
        const QString served = nginx.documentRoot() + QStringLiteral("/v.bin");
        const QByteArray hash = serve(nginx, QStringLiteral("v.bin"), randomBytes(size, 22));
        QFile file(served);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(3600),
                                 QFileDevice::FileModificationTime));
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 5, 20000);

        QCOMPARE(runGet({QStringLiteral("-c"), QStringLiteral("4"), url}), 0);
        QCOMPARE(sha256OfFile(target), hash);
        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 10, 20000);
        const QByteArrayList asked = ranges(nginx.accessLog().mid(6));
        QByteArrayList fresh;
        for (qint64 start = 0; start < size; start += size / 4)
            fresh.append("bytes=" + QByteArray::number(start) + "-" +
                         QByteArray::number(start + size / 4 - 1));
        std::sort(fresh.begin(), fresh.end());
        QCOMPARE(asked, fresh);
    }

    // HTTPS: a certificate nobody trusts fails at once without retries; once trusted, the download
    // completes over HTTP/1.1 although the server offers HTTP/2.
    void https()
    {
        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        const QByteArray hash = serve(nginx, QStringLiteral("s.bin"), randomBytes(8 * MiB, 31));
        const QString url = nginx.secureUrl(QStringLiteral("/s.bin")).toString();

        QByteArray errors;
        QCOMPARE(runGet({url}, &errors), 1);
        QVERIFY2(errors.startsWith("Could not connect: "), errors.constData());
        QVERIFY2(!errors.contains("Retrying"), errors.constData());
        QVERIFY(!QFileInfo::exists(destination(QStringLiteral("s.bin"))));

        QProcessEnvironment trust;
        trust.insert(QStringLiteral("SSL_CERT_FILE"), nginx.certificateFile());
        QCOMPARE(runGet({QStringLiteral("-c"), QStringLiteral("4"), url}, &errors, trust), 0);
        QCOMPARE(sha256OfFile(destination(QStringLiteral("s.bin"))), hash);
        QTRY_COMPARE_WITH_TIMEOUT(nginx.accessLog().size(), 5, 20000);
        for (const NginxServer::LogEntry &entry : nginx.accessLog())
            QCOMPARE(entry.protocol, QByteArray("HTTP/1.1"));
    }

    // Killed without warning at several points, each next run continues from the last checkpoint,
    // and the bytes that arrive in the end make the right file.
    void crashSafety()
    {
        NginxServer nginx;
        NginxServer::Options options;
        options.limitRate = 2 * MiB;
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        const qint64 size = 64 * MiB;
        const QByteArray hash = serve(nginx, QStringLiteral("c.bin"), randomBytes(size, 41));
        const QStringList arguments = {QStringLiteral("-c"), QStringLiteral("4"),
                                       nginx.url(QStringLiteral("/c.bin")).toString()};
        const QString target = destination(QStringLiteral("c.bin"));

        qint64 saved = 0;
        for (int kill = 0; kill < 3; ++kill) {
            TestProgram run(QStringLiteral("rushlet-get"));
            QVERIFY(startGet(run, arguments));
            if (kill == 0) {
                // Early: as soon as the first checkpoint exists, before any data is recorded.
                QTRY_VERIFY_WITH_TIMEOUT(readCheckpoint(target).valid, 30000);
            } else {
                QVERIFY(waitForCheckpointBeyond(target, saved));
            }
            ::kill(pid_t(run.pid()), SIGKILL);
            QVERIFY(run.waitForExit(30000));
            QCOMPARE(run.exitStatus(), QProcess::CrashExit);
            const Checkpoint checkpoint = readCheckpoint(target);
            QVERIFY(checkpoint.valid);
            QVERIFY(checkpoint.received >= saved);
            saved = checkpoint.received;
        }
        QVERIFY(saved > 0);
        const Checkpoint last = readCheckpoint(target);

        QCOMPARE(runGet(arguments), 0);
        QCOMPARE(sha256OfFile(target), hash);
        // The last run asked for exactly what the checkpoint did not hold, segment by segment. Requests
        // of the killed runs may be logged late, so the newest entry for each range is the one that counts.
        const auto fetchedTheRest = [&] {
            const QList<NginxServer::LogEntry> log = nginx.accessLog();
            for (const auto &[start, end, received] : last.segments) {
                if (start + received > end)
                    continue;
                const QByteArray range =
                    "bytes=" + QByteArray::number(start + received) + "-" + QByteArray::number(end);
                const auto entry =
                    std::find_if(log.crbegin(), log.crend(),
                                 [&](const NginxServer::LogEntry &e) { return e.range == range; });
                if (entry == log.crend() || entry->status != 206 ||
                    entry->bodyBytes != end - start - received + 1)
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(fetchedTheRest(), 20000);
    }

    // A write the file system refuses ends the download with the disk's reason, and the checkpoint
    // still describes the partial file, so that a run with room to spare finishes it.
    void diskWriteFailure()
    {
        NginxServer nginx;
        QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
        const qint64 size = 16 * MiB;
        const QByteArray hash = serve(nginx, QStringLiteral("d.bin"), randomBytes(size, 51));
        const QStringList arguments = {QStringLiteral("-c"), QStringLiteral("1"),
                                       nginx.url(QStringLiteral("/d.bin")).toString()};
        const QString target = destination(QStringLiteral("d.bin"));

        {
            TestProgram limited(QStringLiteral("rushlet-get"));
            limited.process().setChildProcessModifier([] {
                // Past the limit a write fails with EFBIG instead of killing the process.
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit = {rlim_t(4 * MiB), rlim_t(4 * MiB)};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
            QVERIFY(startGet(limited, arguments));
            QVERIFY(limited.waitForExit(runTimeoutMs));
            QCOMPARE(limited.exitCode(), 1);
            QVERIFY2(limited.standardError().contains("Disk write failed: "),
                     limited.standardError().constData());
            QVERIFY2(limited.standardError().endsWith(" Run the same command again to resume.\n"),
                     limited.standardError().constData());
        }
        const Checkpoint checkpoint = readCheckpoint(target);
        QVERIFY(checkpoint.valid);
        QCOMPARE(checkpoint.total, size);
        QVERIFY(checkpoint.received <= 4 * MiB);
        QVERIFY(QFileInfo(target + QStringLiteral(".rushlet.part")).size() <= 4 * MiB);

        QCOMPARE(runGet(arguments), 0);
        QCOMPARE(sha256OfFile(target), hash);
    }
};

QTEST_GUILESS_MAIN(TestRushletGet)
#include "tst_RushletGet.moc"
