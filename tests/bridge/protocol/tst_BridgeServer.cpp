#include "app/RunningInstance.h"
#include "tests/support/BridgeTestClient.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr int startLimitMs = 30000;
constexpr int replyLimitMs = 20000;

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// A ping padded with spaces inside the object to exactly `size` bytes, line feed included.
QByteArray paddedPing(qsizetype size)
{
    const QByteArray head = "{\"type\":\"ping\"";
    const QByteArray tail = "}\n";
    return head + QByteArray(size - head.size() - tail.size(), ' ') + tail;
}

} // namespace

// Talks to a real Rushlet over its local socket, the way the native host and a second start do.
class TestBridgeServer : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    std::unique_ptr<TestProgram> rushlet;

    // Sends `bytes` on a connection of its own and returns what came back before the server closed.
    BridgeTestClient::Outcome roundTrip(const QByteArray &bytes)
    {
        BridgeTestClient client(environment);
        if (!client.connect())
            return {};
        client.send(bytes);
        return client.readUntilClosed(replyLimitMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        rushlet = std::make_unique<TestProgram>(QStringLiteral("Rushlet"));
        QVERIFY(rushlet->start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QVERIFY(BridgeTestClient::waitForServer(environment, startLimitMs));
    }

    void cleanupTestCase()
    {
        // Whatever the clients did, the program is still serving.
        QVERIFY(rushlet->isRunning());
        QCOMPARE(BridgeTestClient::exchange(environment, BridgeTestClient::ping()),
                 BridgeTestClient::okReply());
        rushlet->terminate();
        QVERIFY(rushlet->waitForExit(startLimitMs));
        QCOMPARE(rushlet->exitCode(), 0);
    }

    void onlyTheUserCanConnect()
    {
        const QFileInfo socket(BridgeTestClient::serverAddress(environment));
        QVERIFY(socket.exists());
        QCOMPARE(socket.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::Permissions());
    }

    void oneReplyPerRequestLine_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QJsonObject>("reply");

        const QJsonObject ok = BridgeTestClient::okReply();
        const QJsonObject invalid = BridgeTestClient::errorReply(QStringLiteral("Invalid download URL."));
        QTest::newRow("ping") << line(BridgeTestClient::ping()) << ok;
        QTest::newRow("show") << line({{QStringLiteral("type"), QStringLiteral("show")}}) << ok;
        QTest::newRow("extra keys are ignored")
            << line({{QStringLiteral("type"), QStringLiteral("ping")}, {QStringLiteral("more"), 1}}) << ok;
        QTest::newRow("unknown type") << line({{QStringLiteral("type"), QStringLiteral("open")}}) << invalid;
        QTest::newRow("download over ftp")
            << line({{QStringLiteral("type"), QStringLiteral("download")},
                     {QStringLiteral("url"), QStringLiteral("ftp://example.com/a.zip")},
                     {QStringLiteral("id"), QStringLiteral("a1")}})
            << invalid;

        const QJsonObject notAnObject{{QStringLiteral("ok"), false}};
        QTest::newRow("array") << QByteArray("[{\"type\":\"ping\"}]\n") << notAnObject;
        QTest::newRow("empty line") << QByteArray("\n") << notAnObject;
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\x01\n", 7) << notAnObject;
        QTest::newRow("carriage return and line feed") << QByteArray("{\"type\":\"ping\"}\r\n") << ok;

        QTest::newRow("only the first of two requests")
            << line({{QStringLiteral("type"), QStringLiteral("open")}}) + line(BridgeTestClient::ping())
            << invalid;
        QTest::newRow("bytes after the line feed")
            << QByteArray("{\"type\":\"ping\"}\n\x00\xff garbage", 26) << ok;
        // The limit is on the line: the native host forwards 65536 bytes of JSON and a line feed.
        QTest::newRow("a line of exactly the limit") << paddedPing(65536 + 1) << ok;
    }

    void oneReplyPerRequestLine()
    {
        QFETCH(QByteArray, request);
        QFETCH(QJsonObject, reply);
        const auto outcome = roundTrip(request);
        QVERIFY(outcome.closedByServer);
        QVERIFY2(outcome.received.endsWith('\n'), outcome.received.constData());
        QCOMPARE(outcome.received.count('\n'), 1);
        QCOMPARE(QJsonDocument::fromJson(outcome.received).object(), reply);
    }

    void oversizedRequestsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("a line one byte over") << paddedPing(65537 + 1);
        QTest::newRow("a megabyte without a line feed") << QByteArray(1 << 20, 'x');
    }

    void oversizedRequestsAreDropped()
    {
        QFETCH(QByteArray, request);
        const auto outcome = roundTrip(request);
        QVERIFY(outcome.closedByServer);
        QCOMPARE(outcome.received, QByteArray());
    }

    void lineFeedInALaterPacket()
    {
        BridgeTestClient client(environment);
        QVERIFY(client.connect());
        QVERIFY(client.send("{\"type\":"));
        // Half a line is never answered on its own.
        QVERIFY(!client.socket().waitForReadyRead(300));
        QVERIFY(client.send("\"ping\"}"));
        QVERIFY(!client.socket().waitForReadyRead(300));
        QVERIFY(client.send("\n"));
        const auto outcome = client.readUntilClosed(replyLimitMs);
        QCOMPARE(QJsonDocument::fromJson(outcome.received).object(), BridgeTestClient::okReply());
        QVERIFY(outcome.closedByServer);
    }

    // Many clients at once, some of which never finish their line, close while the reply is on its
    // way, or abort halfway: the others are all answered.
    void manyConnectionsAtOnce()
    {
        constexpr int clientCount = 60;
        std::vector<std::unique_ptr<BridgeTestClient>> clients;
        for (int i = 0; i < clientCount; ++i) {
            clients.push_back(std::make_unique<BridgeTestClient>(environment));
            QVERIFY(clients.back()->connect());
            QVERIFY(clients.back()->send("{\"type\":\"pi"));
        }
        for (int i = 0; i < clientCount; ++i) {
            BridgeTestClient &client = *clients[size_t(i)];
            switch (i % 4) {
            case 0:
                client.socket().abort();
                break;
            case 1:
                // Vanishes with the request sent and the reply not yet read.
                QVERIFY(client.send("ng\"}\n"));
                client.socket().abort();
                break;
            default:
                QVERIFY(client.send("ng\"}\n"));
                break;
            }
        }
        for (int i = 0; i < clientCount; ++i) {
            if (i % 4 < 2)
                continue;
            const auto outcome = clients[size_t(i)]->readUntilClosed(replyLimitMs);
            QCOMPARE(QJsonDocument::fromJson(outcome.received).object(), BridgeTestClient::okReply());
        }
    }

    // A second start hands over to the running instance and leaves it running.
    void secondStartHandsOver_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("plain") << QStringList();
        QTest::newRow("browser launch") << QStringList{QStringLiteral("--browser-launch")};
    }

    void secondStartHandsOver()
    {
        QFETCH(QStringList, arguments);
        const auto second = TestProgram::run(QStringLiteral("Rushlet"), arguments,
                                             environment.processEnvironment(), startLimitMs);
        QVERIFY(second.finished);
        QCOMPARE(second.exitStatus, QProcess::NormalExit);
        QCOMPARE(second.exitCode, 0);
        QVERIFY(rushlet->isRunning());
        QCOMPARE(BridgeTestClient::lockOwner(environment), rushlet->pid());
    }

    // The client a second start uses, and the probe that keeps an unreadable lock of a live
    // instance from being taken for abandoned.
    void runningInstanceClient()
    {
        TestEnvironment::useProgramNames();
        TestEnvironment nobody;
        nobody.applyToCurrentProcess();
        QVERIFY(!RunningInstance::answers(1000));
        QVERIFY(!RunningInstance::requestShow(1000));

        environment.applyToCurrentProcess();
        QVERIFY(RunningInstance::answers(10000));
        QVERIFY(RunningInstance::requestShow(10000));
        QVERIFY(rushlet->isRunning());
    }

    // A socket path the system cannot hold is refused outright, never cut short to name another
    // file; the program goes on without the bridge.
    void runtimeFolderTooDeepForASocket()
    {
        TestEnvironment own;
        const QString deepFolder = own.scratch() + QLatin1Char('/') + QString(90, QLatin1Char('r'));
        QVERIFY(QDir().mkpath(deepFolder));
        QVERIFY(QFile::setPermissions(deepFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcessEnvironment processEnvironment = own.processEnvironment();
        processEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), deepFolder);

        TestProgram program(QStringLiteral("Rushlet"));
        QVERIFY(program.start({QStringLiteral("--browser-launch")}, processEnvironment));
        QTRY_VERIFY_WITH_TIMEOUT(
            program.standardError().contains("Chrome bridge could not listen on the local pipe."),
            startLimitMs);
        QVERIFY(program.isRunning());
        QCOMPARE(QDir(deepFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList());
        QCOMPARE(QDir(own.scratch()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{QString(90, QLatin1Char('r'))});
        program.terminate();
        QVERIFY(program.waitForExit(startLimitMs));
        QCOMPARE(program.exitCode(), 0);
    }

    // The socket file of an instance that was killed does not keep the next one from serving.
    void socketLeftByAKilledInstance()
    {
        TestEnvironment own;
        {
            TestProgram killed(QStringLiteral("Rushlet"));
            QVERIFY(killed.start({QStringLiteral("--browser-launch")}, own.processEnvironment()));
            QVERIFY(BridgeTestClient::waitForServer(own, startLimitMs));
            killed.kill();
        }
        QVERIFY(QFileInfo::exists(BridgeTestClient::serverAddress(own)));
        TestProgram next(QStringLiteral("Rushlet"));
        QVERIFY(next.start({QStringLiteral("--browser-launch")}, own.processEnvironment()));
        QVERIFY(BridgeTestClient::waitForServer(own, startLimitMs));
        QCOMPARE(BridgeTestClient::lockOwner(own), next.pid());
        next.terminate();
        QVERIFY(next.waitForExit(startLimitMs));
        QCOMPARE(next.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBridgeServer)
#include "tst_BridgeServer.moc"
