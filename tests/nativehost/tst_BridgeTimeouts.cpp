#include "tests/support/BridgeTestClient.h"
#include "tests/support/NativeHostFrames.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QElapsedTimer>
#include <QTest>

// The limits that take seconds to reach, kept apart so that they run beside the quicker tests.
class TestBridgeTimeouts : public QObject
{
    Q_OBJECT

private slots:
    // No connection outlives 15 seconds, whether it sent nothing or half a line.
    void stuckClientsAreClosed()
    {
        TestEnvironment environment;
        TestProgram rushlet(QStringLiteral("Rushlet"));
        QVERIFY(rushlet.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QVERIFY(BridgeTestClient::waitForServer(environment, 30000));

        BridgeTestClient silent(environment);
        BridgeTestClient halfLine(environment);
        QElapsedTimer stopwatch;
        stopwatch.start();
        QVERIFY(silent.connect());
        QVERIFY(halfLine.connect());
        QVERIFY(halfLine.send("{\"type\":\"ping\""));

        const auto silentOutcome = silent.readUntilClosed(40000);
        const auto halfLineOutcome = halfLine.readUntilClosed(40000);
        QVERIFY(silentOutcome.closedByServer);
        QVERIFY(halfLineOutcome.closedByServer);
        QCOMPARE(silentOutcome.received, QByteArray());
        QCOMPARE(halfLineOutcome.received, QByteArray());
        QVERIFY2(stopwatch.elapsed() >= 14000, qPrintable(QString::number(stopwatch.elapsed())));
        QCOMPARE(BridgeTestClient::exchange(environment, BridgeTestClient::ping()),
                 BridgeTestClient::okReply());
    }

    // A running instance that could not open its bridge: the instance the host starts leaves at
    // once because of the lock, and the host gives up after its launch window.
    void instanceWithoutBridge()
    {
        TestEnvironment environment;
        QVERIFY(
            NativeHostFrames::writeManifest(environment.dataFolder(), QJsonArray{NativeHostFrames::origin}));
        // A folder with content where the socket belongs cannot be removed or replaced.
        const QString address = BridgeTestClient::serverAddress(environment);
        QVERIFY(QDir().mkpath(address + QStringLiteral("/occupied")));

        TestProgram rushlet(QStringLiteral("Rushlet"));
        QVERIFY(rushlet.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QTRY_VERIFY_WITH_TIMEOUT(
            rushlet.standardError().contains("Chrome bridge could not listen on the local pipe."), 30000);
        QVERIFY(rushlet.isRunning());

        QElapsedTimer stopwatch;
        stopwatch.start();
        const auto host = TestProgram::run(QStringLiteral("RushletNativeHost"), {NativeHostFrames::origin},
                                           environment.processEnvironment(), 60000,
                                           NativeHostFrames::frame(BridgeTestClient::ping()));
        QVERIFY(host.finished);
        QCOMPARE(host.exitCode, 1);
        const QJsonObject expected = BridgeTestClient::errorReply(
            QStringLiteral("Rushlet did not respond. Restart it and try again."));
        QCOMPARE(NativeHostFrames::messages(host.standardOutput), QList<QJsonObject>{expected});
        QVERIFY2(stopwatch.elapsed() >= 9500, qPrintable(QString::number(stopwatch.elapsed())));
        QCOMPARE(BridgeTestClient::lockOwner(environment), rushlet.pid());
    }
};

QTEST_GUILESS_MAIN(TestBridgeTimeouts)
#include "tst_BridgeTimeouts.moc"
