#include "tests/support/BridgeTestClient.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTest>

#include <csignal>

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
        const auto result = TestProgram::run(QStringLiteral("Rushlet"), {QStringLiteral("--smoke-test")},
                                             environment.processEnvironment(), exitLimitMs);
        QVERIFY2(result.finished, "Rushlet --smoke-test did not exit");
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(QDir(environment.dataFolder()).exists());
        QVERIFY(!QFile::exists(lockPath(environment)));
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
