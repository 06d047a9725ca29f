#include "tests/support/BridgeTestClient.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr int exitLimitMs = 30000;

QString lockPath(const TestEnvironment &environment)
{
    return environment.dataFolder() + QStringLiteral("/instance.lock");
}

bool lockIsFree(const TestEnvironment &environment)
{
    QLockFile probe(lockPath(environment));
    probe.setStaleLockTime(0);
    return probe.tryLock(0);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void smokeTestOpensAndClosesTheWindow()
    {
        TestEnvironment environment;
        QVERIFY(environment.isValid());
        // A folder made by an earlier version or by hand, open to everyone, is closed at start.
        QVERIFY(QDir().mkpath(environment.dataFolder()));
        QVERIFY(QFile::setPermissions(environment.dataFolder(), QFile::ReadOwner | QFile::WriteOwner |
                                                                    QFile::ExeOwner | QFile::ReadOther |
                                                                    QFile::ExeOther));
        const auto result = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                             environment.processEnvironment(), exitLimitMs);
        QVERIFY2(result.finished, "Rushlet --smoke-test did not exit");
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(!QFile::exists(lockPath(environment)));
        QCOMPARE(QFileInfo(environment.dataFolder()).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                                        QFile::ExeOwner | QFile::ReadUser |
                                                                        QFile::WriteUser | QFile::ExeUser);
    }

    // Every listed download used to hold a thread with an event-loop wake-up handle from the
    // start, so a list longer than the limit of open files aborted the program at every start.
    void aListLongerThanTheDescriptorLimitStarts()
    {
        TestEnvironment environment;
        QJsonArray downloads;
        for (int i = 0; i < 300; ++i) {
            const QString id = QString::number(i);
            downloads.append(
                QJsonObject{{QStringLiteral("id"), id},
                            {QStringLiteral("url"), QString(QStringLiteral("https://example.org/") + id)},
                            {QStringLiteral("destination"),
                             QString(environment.scratch() + QStringLiteral("/file-") + id)}});
        }
        QVERIFY(TestEnvironment::writeFile(environment.dataFolder() + QStringLiteral("/queue.json"),
                                           QJsonDocument(downloads).toJson()));
        TestProgram program(QStringLiteral("Rushlet"));
        program.process().setChildProcessModifier([] {
            const rlimit limit{128, 128};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        QVERIFY(program.start({QStringLiteral("--smoke-test")}, environment.processEnvironment()));
        QVERIFY(program.waitForExit(exitLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(environment.savedQueue().size(), 300);
    }

    // Qt closes a local server for good when accepting fails for want of descriptors. The program
    // raises its limit as far as it may, and its bridge listens again once the clients that used
    // the descriptors up are gone.
    void theBridgeOutlivesRunningOutOfDescriptors()
    {
        TestEnvironment environment;
        TestProgram program(QStringLiteral("Rushlet"));
        program.process().setChildProcessModifier([] {
            const rlimit limit{48, 96};
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        QVERIFY(program.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QVERIFY(BridgeTestClient::waitForServer(environment, exitLimitMs));
        QFile limits(QStringLiteral("/proc/%1/limits").arg(program.pid()));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromLatin1(limits.readAll())
                    .contains(QRegularExpression(QStringLiteral("Max open files +96 +96 "))));

        std::vector<std::unique_ptr<BridgeTestClient>> idle;
        while (idle.size() < 200) {
            auto client = std::make_unique<BridgeTestClient>(environment);
            if (!client->connect(1000))
                break;
            idle.push_back(std::move(client));
        }
        const QString address = BridgeTestClient::serverAddress(environment);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(address), exitLimitMs);
        idle.clear();
        QVERIFY(BridgeTestClient::waitForServer(environment, 2 * exitLimitMs));
        QVERIFY(program.isRunning());
    }

    // Two starts at the same moment: the one that loses the lock hands over to the other once it
    // listens, within the second it waits, and ends with 0.
    void twoStartsAtOnceHandOver()
    {
        for (int round = 0; round < 5; ++round) {
            TestEnvironment environment;
            TestProgram first(QStringLiteral("Rushlet"));
            TestProgram second(QStringLiteral("Rushlet"));
            QVERIFY(first.start({}, environment.processEnvironment()));
            QVERIFY(second.start({}, environment.processEnvironment()));
            QTRY_VERIFY_WITH_TIMEOUT(!first.isRunning() || !second.isRunning(), exitLimitMs);
            TestProgram &loser = first.isRunning() ? second : first;
            TestProgram &winner = first.isRunning() ? first : second;
            QVERIFY2(loser.exitCode() == 0, loser.standardError().constData());
            QCOMPARE(BridgeTestClient::exchange(environment, BridgeTestClient::ping()),
                     BridgeTestClient::okReply());
            winner.terminate();
            QVERIFY(winner.waitForExit(exitLimitMs));
            QCOMPARE(winner.exitCode(), 0);
        }
    }

    // The data folder's disk is full, so the lock cannot be taken, and no instance answers.
    // Nobody could close a box on a platform without a screen: the reason goes to the error
    // stream and the program ends.
    void aFullDataDiskEndsTheStartWithoutABox()
    {
        TestEnvironment environment;
        SmallDisk disk(256 * 1024);
        QVERIFY(disk.isValid());
        QVERIFY(QDir().mkpath(disk.path() + QStringLiteral("/Rushlet/Rushlet")));
        QProcessEnvironment processEnvironment = environment.processEnvironment();
        processEnvironment.insert(QStringLiteral("XDG_DATA_HOME"), disk.path());
        QVERIFY(disk.fill());
        const auto result = TestProgram::run(QStringLiteral("Rushlet"), {}, processEnvironment, exitLimitMs);
        disk.release();
        QVERIFY2(result.finished, "Rushlet waited on a box nobody can see");
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.standardError.contains("its data folder cannot be locked"));
    }

    // On a screen the box waits for the user, except in a smoke test; a request to end the
    // program closes it.
    void theRefusalBoxGivesWayToATerminationSignal()
    {
        TestEnvironment environment;
        QVERIFY(QDir().mkpath(environment.dataFolder()));
        QLockFile owner(lockPath(environment));
        QVERIFY(owner.tryLock(0));
        QProcess display;
        display.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QVERIFY(display.waitForStarted(exitLimitMs));
        QVERIFY(QTest::qWaitFor([&] { return display.canReadLine(); }, exitLimitMs));
        const QString displayName = QLatin1Char(':') + QString::fromLatin1(display.readLine().trimmed());
        QProcessEnvironment onScreen = environment.processEnvironment();
        onScreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        onScreen.insert(QStringLiteral("DISPLAY"), displayName);

        const auto smoke = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                            onScreen, exitLimitMs);
        QVERIFY(smoke.finished);
        QCOMPARE(smoke.exitCode, 1);

        TestProgram program(QStringLiteral("Rushlet"));
        QVERIFY(program.start({}, onScreen));
        QVERIFY(QTest::qWaitFor(
            [&] {
                QProcess windows;
                windows.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree"),
                                                           QStringLiteral("-display"), displayName});
                return windows.waitForFinished(exitLimitMs) &&
                       windows.readAllStandardOutput().contains("Rushlet Download Manager");
            },
            exitLimitMs));
        QCOMPARE(::kill(pid_t(program.pid()), SIGTERM), 0);
        QVERIFY(program.waitForExit(exitLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        display.terminate();
        QVERIFY(display.waitForFinished(exitLimitMs));
    }

    void commandLine()
    {
        TestEnvironment environment;
        const auto version = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--version")},
                                              environment.processEnvironment(), exitLimitMs);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.standardOutput.trimmed(), QByteArray("Rushlet 1.1.0"));

        const auto help = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--help")},
                                           environment.processEnvironment(), exitLimitMs);
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.standardOutput.contains("Rushlet Download Manager"));
        QVERIFY(help.standardOutput.contains("--smoke-test"));
        QVERIFY(help.standardOutput.contains("Open the window and exit after one second."));
        QVERIFY(help.standardOutput.contains("--browser-launch"));
        QVERIFY(help.standardOutput.contains("Launch for the Chrome native messaging bridge."));

        const auto unknown = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--no-such-option")},
                                              environment.processEnvironment(), exitLimitMs);
        QCOMPARE(unknown.exitCode, 1);
        QVERIFY(unknown.standardError.contains("no-such-option"));
        // Neither the lock nor the data folder are touched before the options were accepted.
        QVERIFY(!QFile::exists(lockPath(environment)));
    }

    void terminationSignalsShutDownCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void terminationSignalsShutDownCleanly()
    {
        QFETCH(int, signalNumber);
        TestEnvironment environment;
        TestProgram program(QStringLiteral("Rushlet"));
        QVERIFY(program.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QTRY_VERIFY_WITH_TIMEOUT(BridgeTestClient::lockOwner(environment) > 0, exitLimitMs);

        // A second request during shutdown must not cut the shutdown short.
        QCOMPARE(::kill(pid_t(program.pid()), signalNumber), 0);
        ::kill(pid_t(program.pid()), signalNumber);
        QVERIFY(program.waitForExit(exitLimitMs));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(lockIsFree(environment));
    }

    // Qt recovers the lock of a process that died; the age of a lock never counts.
    void lockOfKilledInstanceDoesNotBlock()
    {
        TestEnvironment environment;
        {
            TestProgram crashed(QStringLiteral("Rushlet"));
            QVERIFY(crashed.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
            QTRY_VERIFY_WITH_TIMEOUT(BridgeTestClient::lockOwner(environment) > 0, exitLimitMs);
            crashed.kill();
        }
        QVERIFY(QFile::exists(lockPath(environment)));
        const auto next = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                           environment.processEnvironment(), exitLimitMs);
        QVERIFY(next.finished);
        QCOMPARE(next.exitCode, 0);
    }

    // A crash between creating the lock file and writing into it leaves a file nobody owns.
    void emptyLockFileDoesNotBlock()
    {
        TestEnvironment environment;
        QVERIFY(QDir().mkpath(environment.dataFolder()));
        QFile leftover(lockPath(environment));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();

        const auto next = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                           environment.processEnvironment(), exitLimitMs);
        QVERIFY(next.finished);
        QCOMPARE(next.exitCode, 0);
        QVERIFY(!QFile::exists(lockPath(environment)));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_Startup.moc"
