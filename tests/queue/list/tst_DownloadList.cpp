#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "engine/RateShare.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr int eventLimitMs = 30000;

DownloadList::EngineFactory standIn()
{
    return [](const DownloadSpec &spec) { return new StandInEngine(spec); };
}

StandInEngine *engineOf(const DownloadList &list, const QString &id)
{
    const QueueEntry *entry = list.entry(id);
    return entry ? qobject_cast<StandInEngine *>(entry->engine) : nullptr;
}

QString statusOf(const DownloadList &list, const QString &id)
{
    const QueueEntry *entry = list.entry(id);
    return entry ? entry->snapshot.status : QString();
}

// Runs a command on the engine's thread and returns once it has run; the reports it sends stay
// queued for the list until the test lets events through.
template <typename Command>
void runOnEngine(StandInEngine *engine, Command command)
{
    QVERIFY(QMetaObject::invokeMethod(
        engine, [engine, command] { command(engine); }, Qt::BlockingQueuedConnection));
}

QJsonObject savedEntry(const QString &id)
{
    const QJsonArray saved =
        QJsonDocument::fromJson(TestEnvironment::readFile(QueueRules::queueFilePath())).array();
    for (const QJsonValue &value : saved) {
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    }
    return {};
}

} // namespace

class TestDownloadList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;

    DownloadSnapshot download(const QString &id, const QString &status = DownloadStatus::Queued) const
    {
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/") + id);
        snapshot.destination = environment->scratch() + QLatin1Char('/') + id + QStringLiteral(".bin");
        snapshot.status = status;
        return snapshot;
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
    }

    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        QCOMPARE(QueueRules::queueFilePath(), environment->dataFolder() + QStringLiteral("/queue.json"));
    }

    void cleanup()
    {
        StandInEngine::pausesToMeet = 1;
        StandInEngine::mostPausesAtOnce = 0;
        QCOMPARE(StandInEngine::alive.load(), 0);
        QCOMPARE(StandInEngine::destroyedElsewhere.load(), 0);
    }

    void loadingRepairsAndStartsNothing()
    {
        const QString completedFile = download(QStringLiteral("done")).destination;
        QVERIFY(TestEnvironment::writeFile(completedFile, QByteArray(321, 'd')));
        const QString blockedFile = download(QStringLiteral("blocked")).destination;
        QVERIFY(TestEnvironment::writeFile(blockedFile, "someone else's file"));
        const QList<DownloadSnapshot> stored{download(QStringLiteral("run"), DownloadStatus::Downloading),
                                             download(QStringLiteral("done"), DownloadStatus::Completed),
                                             download(QStringLiteral("blocked"), DownloadStatus::Queued)};
        QByteArray document = QueueRules::writeQueue(stored);
        // What was written as "Paused" reads back as such; check the repair of a running one too.
        document.replace("\"Paused\"", "\"Retrying\"");
        QVERIFY(TestEnvironment::writeFile(QueueRules::queueFilePath(), document));

        {
            DownloadList list(standIn());
            QSignalSpy messages(&list, &DownloadList::statusMessage);
            QSignalSpy changes(&list, &DownloadList::changed);
            list.loadQueue();
            QCOMPARE(changes.size(), 1);
            QCOMPARE(list.ids(),
                     (QStringList{QStringLiteral("run"), QStringLiteral("done"), QStringLiteral("blocked")}));
            QCOMPARE(statusOf(list, QStringLiteral("run")), DownloadStatus::Paused);
            QCOMPARE(statusOf(list, QStringLiteral("done")), DownloadStatus::Completed);
            QCOMPARE(list.entry(QStringLiteral("done"))->snapshot.received, 321);
            QCOMPARE(statusOf(list, QStringLiteral("blocked")), DownloadStatus::Error);
            QVERIFY(messages.isEmpty());

            // A long history costs no threads: a download gets one when it is started.
            QVERIFY(list.findChildren<QThread *>().isEmpty());
            QCOMPARE(StandInEngine::alive.load(), 0);
            // Loading never writes the file back.
            QCOMPARE(TestEnvironment::readFile(QueueRules::queueFilePath()), document);

            list.startDownload(QStringLiteral("done"));
            list.startDownload(QStringLiteral("run"));
            const QueueEntry *started = list.entry(QStringLiteral("run"));
            QVERIFY(started->thread && started->thread->isRunning());
            QCOMPARE(started->thread->objectName(), QStringLiteral("Download-run"));
            QCOMPARE(started->engine->thread(), started->thread);
            QTRY_COMPARE_WITH_TIMEOUT(engineOf(list, QStringLiteral("run"))->starts.load(), 1, eventLimitMs);
            // A completed download has nothing left to fetch.
            QVERIFY(!list.entry(QStringLiteral("done"))->thread);
        }
    }

    void unreadableListIsKeptAside_data()
    {
        // A null content means no file; "folder" puts a folder where the file belongs.
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("truncated") << QByteArray("[{\"id\": \"a\", \"destination\": \"/x\"");
        QTest::newRow("object at top level") << QByteArray("{\"downloads\": []}");
        QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n");
        QTest::newRow("folder in its place") << QByteArray("folder");
    }

    void unreadableListIsKeptAside()
    {
        QFETCH(QByteArray, content);
        const QString path = QueueRules::queueFilePath();
        const bool folder = content == "folder";
        if (folder)
            QVERIFY(QDir().mkpath(path));
        else if (!content.isNull())
            QVERIFY(TestEnvironment::writeFile(path, content));

        DownloadList list(standIn());
        QSignalSpy messages(&list, &DownloadList::statusMessage);
        list.loadQueue();
        QCOMPARE(list.count(), 0);
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        QVERIFY(list.saveQueue());
        QCOMPARE(savedEntry(QStringLiteral("a")).value(QStringLiteral("status")).toString(),
                 DownloadStatus::Queued);
        const QStringList kept =
            QDir(environment->dataFolder())
                .entryList({QStringLiteral("queue.json.unreadable-*")}, QDir::AllEntries);
        if (content.isNull()) {
            QVERIFY(messages.isEmpty());
            QVERIFY(kept.isEmpty());
            return;
        }
        // The save replaced nothing: what could not be read is kept whole, and the user is told where.
        QCOMPARE(kept.size(), 1);
        const QString keptPath = environment->dataFolder() + QLatin1Char('/') + kept.first();
        QVERIFY(folder ? QFileInfo(keptPath).isDir() : TestEnvironment::readFile(keptPath) == content);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().at(0).toString(),
                 QStringLiteral("The saved download list could not be read. It was kept as %1."));
        QCOMPARE(messages.first().at(1).toInt(), 10000);
        QCOMPARE(messages.first().at(2).toStringList(), QStringList{keptPath});
    }

    void commandsReachOnlyTheirEngines()
    {
        DownloadList list(standIn());
        const QStringList ids{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                              QStringLiteral("d")};
        for (const QString &id : ids)
            QVERIFY(list.addDownload(download(id)));
        QVERIFY(list.addDownload(download(QStringLiteral("browser"), DownloadStatus::AwaitingConfirmation)));
        QVERIFY(!list.hasActiveDownloads());

        for (const QString &id : ids.first(3))
            list.startDownload(id);
        list.startDownload(QStringLiteral("browser"));
        list.startDownload(QStringLiteral("unknown"));
        for (const QString &id : ids.first(3))
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, id), DownloadStatus::Downloading, eventLimitMs);
        QVERIFY(list.hasActiveDownloads());

        // Finishing one download starts nothing else.
        QMetaObject::invokeMethod(engineOf(list, QStringLiteral("a")), "complete", Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Completed,
                                  eventLimitMs);
        QVERIFY(!engineOf(list, QStringLiteral("d")));
        QVERIFY(!engineOf(list, QStringLiteral("browser")));
        QCOMPARE(statusOf(list, QStringLiteral("d")), DownloadStatus::Queued);

        list.pauseAll();
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("b")), DownloadStatus::Paused, eventLimitMs);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("c")), DownloadStatus::Paused, eventLimitMs);
        QVERIFY(!list.hasActiveDownloads());
        QCOMPARE(engineOf(list, QStringLiteral("a"))->pauses.load(), 0);

        list.startDownload(QStringLiteral("b"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("b")), DownloadStatus::Downloading,
                                  eventLimitMs);
        list.pauseDownload(QStringLiteral("b"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("b")), DownloadStatus::Paused, eventLimitMs);
    }

    void savesOnlyWhenTheStatusChanges()
    {
        DownloadList list(standIn());
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        const QString path = QueueRules::queueFilePath();
        QVERIFY(!QFile::exists(path));

        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                  eventLimitMs);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), eventLimitMs);
        // Written as it will read back after a restart.
        QCOMPARE(savedEntry(QStringLiteral("a")).value(QStringLiteral("status")).toString(),
                 DownloadStatus::Paused);

        QVERIFY(QFile::remove(path));
        QSignalSpy changes(&list, &DownloadList::changed);
        StandInEngine *engine = engineOf(list, QStringLiteral("a"));
        for (int tick = 0; tick < 5; ++tick)
            QMetaObject::invokeMethod(engine, "advance", Qt::QueuedConnection, Q_ARG(qint64, 100));
        QTRY_COMPARE_WITH_TIMEOUT(list.entry(QStringLiteral("a"))->snapshot.received, 500, eventLimitMs);
        QCOMPARE(changes.size(), 5);
        QVERIFY(!QFile::exists(path));

        QMetaObject::invokeMethod(engine, "complete", Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), eventLimitMs);
        QCOMPARE(savedEntry(QStringLiteral("a")).value(QStringLiteral("status")).toString(),
                 DownloadStatus::Completed);
        QCOMPARE(savedEntry(QStringLiteral("a")).value(QStringLiteral("received")).toString(),
                 QStringLiteral("1000"));
    }

    void stoppingEndsTheThreadAndDeletesTheEngineThere()
    {
        DownloadList list(standIn());
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        QVERIFY(list.addDownload(download(QStringLiteral("b"))));
        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                  eventLimitMs);
        QCOMPARE(list.findChildren<QThread *>().size(), 1);

        list.stopEngine(QStringLiteral("a"));
        const QueueEntry *stopped = list.entry(QStringLiteral("a"));
        QVERIFY(!stopped->thread);
        QVERIFY(!stopped->engine);
        QCOMPARE(stopped->snapshot.status, DownloadStatus::Downloading);
        QVERIFY(list.findChildren<QThread *>().isEmpty());
        QCOMPARE(StandInEngine::alive.load(), 0);
        // The engine paused before its thread ended.
        QVERIFY(QFile::exists(StandInEngine::checkpointPath(stopped->snapshot.destination)));
        // Stopping a download without an engine is harmless.
        list.stopEngine(QStringLiteral("a"));
    }

    void removalWaitsForThePauseAndDropsLateReports()
    {
        DownloadList list(standIn());
        const DownloadSnapshot snapshot = download(QStringLiteral("a"));
        const QString partial = snapshot.destination + QStringLiteral(".rushlet.part");
        QVERIFY(TestEnvironment::writeFile(partial, "partial bytes"));
        QVERIFY(list.addDownload(snapshot));
        QVERIFY(list.addDownload(download(QStringLiteral("b"))));
        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                  eventLimitMs);

        // A progress report is on its way when the download is removed.
        runOnEngine(engineOf(list, QStringLiteral("a")), [](StandInEngine *engine) { engine->advance(10); });
        QSignalSpy messages(&list, &DownloadList::statusMessage);
        list.removeDownload(QStringLiteral("a"));
        QVERIFY(list.wasRemoved(QStringLiteral("a")));

        QVERIFY(QFile::exists(StandInEngine::checkpointPath(snapshot.destination)));
        QVERIFY(QFile::exists(partial));
        QCOMPARE(StandInEngine::alive.load(), 0);
        QCOMPARE(list.ids(), QStringList{QStringLiteral("b")});
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().at(0).toString(),
                 QStringLiteral("Removed from the list. Downloaded and partial files are kept."));
        QCOMPARE(messages.first().at(1).toInt(), 6000);
        const QByteArray saved = TestEnvironment::readFile(QueueRules::queueFilePath());
        QVERIFY(savedEntry(QStringLiteral("a")).isEmpty());
        QVERIFY(!savedEntry(QStringLiteral("b")).isEmpty());

        QCoreApplication::sendPostedEvents();
        QCOMPARE(list.ids(), QStringList{QStringLiteral("b")});
        QVERIFY(!list.contains(QStringLiteral("a")));
        QCOMPARE(TestEnvironment::readFile(QueueRules::queueFilePath()), saved);

        list.removeDownload(QStringLiteral("a"));
        QCOMPARE(messages.size(), 1);
    }

    void reAddingAnIdReplacesItsEngine()
    {
        DownloadList list(standIn());
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        QVERIFY(list.addDownload(download(QStringLiteral("b"))));
        list.startDownload(QStringLiteral("a"));
        runOnEngine(engineOf(list, QStringLiteral("a")), [](StandInEngine *) {});

        // The old engine's reports are still queued when the id is given a new state.
        DownloadSnapshot renewed = download(QStringLiteral("a"));
        renewed.connections = 4;
        QVERIFY(list.addDownload(renewed));
        QCOMPARE(StandInEngine::alive.load(), 0);
        QCOMPARE(list.ids(), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(statusOf(list, QStringLiteral("a")), DownloadStatus::Queued);
        QCOMPARE(list.entry(QStringLiteral("a"))->snapshot.connections, 4);
    }

    // The browser's cookies belong to the link it handed over; another link does not get them.
    void anotherLinkDropsTheBrowserSession()
    {
        DownloadList list(standIn());
        DownloadSnapshot handed = download(QStringLiteral("a"));
        handed.context.userAgent = "Browser/1.0";
        QVERIFY(list.addDownload(handed) && list.replaceSnapshot(QStringLiteral("a"), handed));
        QCOMPARE(list.entry(QStringLiteral("a"))->snapshot.context, handed.context);
        handed.url = QUrl(QStringLiteral("https://elsewhere.example/a.bin"));
        QVERIFY(list.replaceSnapshot(QStringLiteral("a"), handed));
        QVERIFY(list.entry(QStringLiteral("a"))->snapshot.context.isEmpty());
    }

    void aDestinationAppearsOnlyOnce()
    {
        DownloadList list(standIn());
        DownloadSnapshot first = download(QStringLiteral("a"));
        first.destination = environment->scratch() + QStringLiteral("/Report.pdf");
        QSignalSpy changes(&list, &DownloadList::changed);
        QVERIFY(list.addDownload(first));
        DownloadSnapshot clash = download(QStringLiteral("b"));
        clash.destination = environment->scratch() + QStringLiteral("/sub/../Report.pdf");
        QVERIFY(!list.addDownload(clash));
        QCOMPARE(list.count(), 1);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(list.idWithDestination(clash.destination), QStringLiteral("a"));
        QCOMPARE(list.destinations(), QStringList{first.destination});
        QVERIFY(!list.addDownload(download(QString())));
        // Letter case tells two files apart on Linux.
        DownloadSnapshot otherCase = download(QStringLiteral("upper"));
        otherCase.destination = environment->scratch() + QStringLiteral("/REPORT.PDF");
        QVERIFY(list.addDownload(otherCase));
        QCOMPARE(list.idWithDestination(otherCase.destination), QStringLiteral("upper"));

        // A download whose engine was made for its old file is moved to another one; the engine's
        // reports after the move must not bring the old file back.
        QVERIFY(list.addDownload(download(QStringLiteral("c"))));
        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                  eventLimitMs);
        DownloadSnapshot moved = list.entry(QStringLiteral("a"))->snapshot;
        moved.destination = environment->scratch() + QStringLiteral("/Report (1).pdf");
        QVERIFY(list.replaceSnapshot(QStringLiteral("a"), moved));
        list.startDownload(QStringLiteral("a"));
        runOnEngine(engineOf(list, QStringLiteral("a")), [](StandInEngine *engine) { engine->advance(1); });
        QTRY_COMPARE_WITH_TIMEOUT(list.entry(QStringLiteral("a"))->snapshot.received, 1, eventLimitMs);
        QCOMPARE(list.entry(QStringLiteral("a"))->snapshot.destination, moved.destination);
        QCOMPARE(list.idWithDestination(moved.destination), QStringLiteral("a"));
        QVERIFY(list.addDownload(clash));

        DownloadSnapshot taken = moved;
        taken.destination = download(QStringLiteral("c")).destination;
        QVERIFY(!list.replaceSnapshot(QStringLiteral("a"), taken));
        QCOMPARE(list.entry(QStringLiteral("a"))->snapshot.destination, moved.destination);
        list.discardDownload(QStringLiteral("c"));
        // Taken back by the program, not removed by the user.
        QVERIFY(!list.wasRemoved(QStringLiteral("c")));
        QVERIFY(list.replaceSnapshot(QStringLiteral("a"), taken));
        QCOMPARE(list.idWithDestination(moved.destination), QString());
    }

    void aStartWithoutRoomForAThreadTurnsError()
    {
        DownloadList list(standIn());
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        {
            // Running out of descriptors inside a new thread would abort the whole program.
            rlimit original{};
            QCOMPARE(getrlimit(RLIMIT_NOFILE, &original), 0);
            rlimit tight = original;
            tight.rlim_cur = rlim_t(QDir(QStringLiteral("/proc/self/fd"))
                                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                        .size() +
                                    4);
            QCOMPARE(setrlimit(RLIMIT_NOFILE, &tight), 0);
            list.startDownload(QStringLiteral("a"));
            QCOMPARE(setrlimit(RLIMIT_NOFILE, &original), 0);
        }
        QCOMPARE(statusOf(list, QStringLiteral("a")), DownloadStatus::Error);
        QVERIFY(list.entry(QStringLiteral("a"))
                    ->snapshot.error.startsWith(QStringLiteral("Could not start the download")));
        QVERIFY(!list.entry(QStringLiteral("a"))->thread);
        QTRY_COMPARE_WITH_TIMEOUT(savedEntry(QStringLiteral("a")).value(QStringLiteral("status")).toString(),
                                  DownloadStatus::Error, eventLimitMs);

        // Retry once there is room again.
        list.startDownload(QStringLiteral("a"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                  eventLimitMs);
    }

    void shutdownSavesFinalCountsAsPausedOnce()
    {
        const QString path = QueueRules::queueFilePath();
        auto list = std::make_unique<DownloadList>(standIn());
        QVERIFY(list->addDownload(download(QStringLiteral("run"))));
        QVERIFY(list->addDownload(download(QStringLiteral("also running"))));
        QVERIFY(list->addDownload(download(QStringLiteral("idle"))));
        list->startDownload(QStringLiteral("run"));
        list->startDownload(QStringLiteral("also running"));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(*list, QStringLiteral("run")), DownloadStatus::Downloading,
                                  eventLimitMs);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(*list, QStringLiteral("also running")),
                                  DownloadStatus::Downloading, eventLimitMs);
        // Bytes the list has not heard of yet when the program quits.
        runOnEngine(engineOf(*list, QStringLiteral("run")),
                    [](StandInEngine *engine) { engine->advance(250); });

        // The quit waits for the slowest pause, not for one pause after another.
        StandInEngine::pausesToMeet = 2;
        list->shutdown();
        QCOMPARE(StandInEngine::mostPausesAtOnce.load(), 2);
        QVERIFY(list->shuttingDown());
        QCOMPARE(StandInEngine::alive.load(), 0);
        QCOMPARE(list->findChildren<QThread *>().size(), 0);
        const QJsonObject run = savedEntry(QStringLiteral("run"));
        QCOMPARE(run.value(QStringLiteral("status")).toString(), DownloadStatus::Paused);
        QCOMPARE(run.value(QStringLiteral("received")).toString(), QStringLiteral("250"));
        QCOMPARE(savedEntry(QStringLiteral("idle")).value(QStringLiteral("status")).toString(),
                 DownloadStatus::Queued);

        // Later reports change nothing, and a second shutdown neither stops nor saves again.
        DownloadSnapshot late = download(QStringLiteral("run"), DownloadStatus::Downloading);
        list->onEngineUpdated(late);
        QCOMPARE(statusOf(*list, QStringLiteral("run")), DownloadStatus::Paused);
        QVERIFY(QFile::remove(path));
        list->shutdown();
        list.reset();
        QVERIFY(!QFile::exists(path));
    }

    // The overall limit is split among the downloads that transfer, each within its own limit, and
    // every engine's share follows starts, pauses and changes of either limit; both limits last.
    void engineSharesFollowTheLimits()
    {
        QHash<QString, std::shared_ptr<const RateShare>> shares;
        const auto shareOf = [&shares](const QString &id) { return shares.value(id)->bytesPerSecond(); };
        {
            DownloadList list([&shares](const DownloadSpec &spec) {
                shares.insert(spec.id, spec.rateLimit);
                return new StandInEngine(spec);
            });
            for (const QString &id : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
                QVERIFY(list.addDownload(download(id)));
            list.setOverallSpeedLimit(9000);
            list.setSpeedLimit(QStringLiteral("c"), 1000);
            list.startDownload(QStringLiteral("a"));
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Downloading,
                                      eventLimitMs);
            QCOMPARE(shareOf(QStringLiteral("a")), 9000);

            list.startDownload(QStringLiteral("b"));
            list.startDownload(QStringLiteral("c"));
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("c")), DownloadStatus::Downloading,
                                      eventLimitMs);
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("b")), DownloadStatus::Downloading,
                                      eventLimitMs);
            QCOMPARE(shareOf(QStringLiteral("c")), 1000);
            QCOMPARE(shareOf(QStringLiteral("a")) + shareOf(QStringLiteral("b")), 8000);
            QCOMPARE(shareOf(QStringLiteral("a")), 4000);

            // A paused download leaves its part to the others; a lifted own limit takes an equal one.
            list.pauseDownload(QStringLiteral("a"));
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(list, QStringLiteral("a")), DownloadStatus::Paused,
                                      eventLimitMs);
            QCOMPARE(shareOf(QStringLiteral("b")), 8000);
            list.setSpeedLimit(QStringLiteral("c"), 0);
            QCOMPARE(shareOf(QStringLiteral("b")), 4500);
            QCOMPARE(shareOf(QStringLiteral("c")), 4500);
            list.setOverallSpeedLimit(0);
            QCOMPARE(shareOf(QStringLiteral("b")), 0);
            list.setSpeedLimit(QStringLiteral("b"), 700);
            QCOMPARE(shareOf(QStringLiteral("b")), 700);
            QTRY_COMPARE_WITH_TIMEOUT(savedEntry(QStringLiteral("b")).value(QStringLiteral("limit")),
                                      QJsonValue(QStringLiteral("700")), eventLimitMs);
            // An engine's report never carries the limit, and must not erase it.
            const qint64 before = list.entry(QStringLiteral("b"))->snapshot.received;
            QMetaObject::invokeMethod(engineOf(list, QStringLiteral("b")), "advance", Q_ARG(qint64, 10));
            QTRY_VERIFY_WITH_TIMEOUT(list.entry(QStringLiteral("b"))->snapshot.received > before,
                                     eventLimitMs);
            QCOMPARE(list.entry(QStringLiteral("b"))->snapshot.speedLimit, 700);
            list.setOverallSpeedLimit(2048);
        }
        QCOMPARE(QSettings().value(QStringLiteral("speedLimit")).toLongLong(), 2048);
        DownloadList reopened(standIn());
        QCOMPARE(reopened.overallSpeedLimit(), 2048);
    }

    void aFullDiskKeepsTheOldListWhole()
    {
        SmallDisk disk(256 * 1024);
        QVERIFY(disk.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(disk.path()));
        const QString path = QueueRules::queueFilePath();
        DownloadList list(standIn());
        QVERIFY(list.addDownload(download(QStringLiteral("a"))));
        QVERIFY(list.saveQueue());
        const QByteArray before = TestEnvironment::readFile(path);
        QVERIFY(list.addDownload(download(QStringLiteral("b"))));

        // A list this short fits in a write buffer, whose failed flush a save must not miss.
        QSignalSpy messages(&list, &DownloadList::statusMessage);
        QVERIFY(disk.fill());
        const bool saved = list.saveQueue();
        disk.release();
        QVERIFY(!saved);
        QCOMPARE(TestEnvironment::readFile(path), before);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("queue.json")});
        QCOMPARE(list.count(), 2);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().at(0).toString(), QStringLiteral("Could not save the download list."));
        QCOMPARE(messages.first().at(1).toInt(), 10000);

        // A removal whose save fails says so, and nothing that reads as success covers it.
        QVERIFY(disk.fill());
        list.removeDownload(QStringLiteral("b"));
        disk.release();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Could not save the download list."));

        // With room again the list is saved, for the user's eyes only whatever the umask says.
        const mode_t previousUmask = ::umask(0);
        QVERIFY(list.saveQueue());
        ::umask(previousUmask);
        QCOMPARE(QFileInfo(path).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(QFileInfo(QFileInfo(path).path()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestDownloadList)
#include "tst_DownloadList.moc"
