#include "tests/support/BridgeTestClient.h"
#include "tests/support/NativeHostFrames.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QTest>

#include <csignal>
#include <memory>

using namespace NativeHostFrames;

namespace {

constexpr int runLimitMs = 40000;

TestProgram::Result runHost(const TestEnvironment &environment, const QStringList &arguments,
                            const QByteArray &input)
{
    return TestProgram::run(QStringLiteral("RushletNativeHost"), arguments, environment.processEnvironment(),
                            runLimitMs, input);
}

bool processIsGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    // A process that ended but was not yet collected by its new parent.
    const QByteArray fields = status.readAll();
    return fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

} // namespace

// Drives RushletNativeHost through its standard streams, as the browser does.
class TestNativeHost : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    std::unique_ptr<TestProgram> rushlet;

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        QVERIFY(writeManifest(environment.dataFolder(), QJsonArray{origin}));
        rushlet = std::make_unique<TestProgram>(QStringLiteral("Rushlet"));
        QVERIFY(rushlet->start({QStringLiteral("--browser-launch")}, environment.processEnvironment()));
        QVERIFY(BridgeTestClient::waitForServer(environment, runLimitMs));
    }

    void cleanupTestCase()
    {
        rushlet->terminate();
        QVERIFY(rushlet->waitForExit(runLimitMs));
    }

    void unregisteredCallersAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no origin") << QStringList();
        QTest::newRow("other extension")
            << QStringList{QStringLiteral("chrome-extension://bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/")};
        QTest::newRow("no trailing slash") << QStringList{origin.chopped(1)};
        QTest::newRow("other letter case") << QStringList{origin.toUpper()};
        QTest::newRow("empty origin") << QStringList{QString()};
        QTest::newRow("other add-on") << QStringList{firefoxManifest, QStringLiteral("other@example.com")};
        QTest::newRow("add-on id in other letter case") << QStringList{firefoxManifest, addonId.toUpper()};
        QTest::newRow("add-on id alone") << QStringList{addonId};
        QTest::newRow("origin where Firefox puts the add-on") << QStringList{firefoxManifest, origin};
        // The add-on id counts only after the absolute path of a manifest of this host.
        QTest::newRow("add-on id after a relative path")
            << QStringList{QStringLiteral("native-messaging-hosts/com.rushlet.downloader.json"), addonId};
        QTest::newRow("add-on id after another host's manifest") << QStringList{
            QStringLiteral("/home/user/.mozilla/native-messaging-hosts/com.other.json"), addonId};
    }

    void unregisteredCallersAreRefused()
    {
        QFETCH(QStringList, arguments);
        const auto result = runHost(environment, arguments, frame(BridgeTestClient::ping()));
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(messages(result.standardOutput),
                 QList<QJsonObject>{
                     BridgeTestClient::errorReply(QStringLiteral("Extension origin is not registered."))});
    }

    void unusableManifestsRefuseEveryone_data()
    {
        QTest::addColumn<QByteArray>("manifest");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("allowed_origins");
        QTest::newRow("origins not an array")
            << QByteArray("{\"allowed_origins\":\"") + origin.toUtf8() + "\"}";
        QTest::newRow("origin in a nested array")
            << QByteArray("{\"allowed_origins\":[[\"") + origin.toUtf8() + "\"]]}";
    }

    void unusableManifestsRefuseEveryone()
    {
        QFETCH(QByteArray, manifest);
        TestEnvironment own;
        if (!manifest.isEmpty()) {
            QVERIFY(TestEnvironment::writeFile(
                own.dataFolder() + QStringLiteral("/com.rushlet.downloader.json"), manifest));
        }
        const auto result = runHost(own, {origin}, frame(BridgeTestClient::ping()));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(messages(result.standardOutput),
                 QList<QJsonObject>{
                     BridgeTestClient::errorReply(QStringLiteral("Extension origin is not registered."))});
        // Refused before anything else: no Rushlet was started for it.
        QCOMPARE(BridgeTestClient::lockOwner(own), 0);
    }

    void malformedMessagesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("text");

        const QString badLength = QStringLiteral("Invalid message length.");
        QTest::newRow("nothing") << QByteArray() << badLength;
        QTest::newRow("half a length") << QByteArray("\x05\x00", 2) << badLength;
        QTest::newRow("length 0") << frame(0, {}) << badLength;
        QTest::newRow("length 65537") << frame(65537, QByteArray(65537, ' ')) << badLength;
        QTest::newRow("length 2^32-1") << frame(0xffffffffu, "{}") << badLength;

        QTest::newRow("short body") << frame(40, "{\"type\":\"ping\"}")
                                    << QStringLiteral("Incomplete message.");

        const QString unsupported = QStringLiteral("Unsupported download request.");
        QTest::newRow("show from the browser")
            << frame(QJsonObject{{QStringLiteral("type"), QStringLiteral("show")}}) << unsupported;
        QTest::newRow("not JSON") << frame("ping") << unsupported;
        QTest::newRow("array") << frame("[{\"type\":\"ping\"}]") << unsupported;
        QTest::newRow("download over ftp")
            << frame(QJsonObject{{QStringLiteral("type"), QStringLiteral("download")},
                                 {QStringLiteral("url"), QStringLiteral("ftp://example.com/a.zip")},
                                 {QStringLiteral("id"), QStringLiteral("ab")}})
            << unsupported;
    }

    void malformedMessagesAreRefused()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, text);
        const auto result = runHost(environment, {origin}, input);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(messages(result.standardOutput), QList<QJsonObject>{BridgeTestClient::errorReply(text)});
    }

    // The browser asks after the downloads it holds again and again; a Rushlet that is not running
    // is not started for that. Started as Firefox starts it, the host lets the add-on through.
    void statusDoesNotStartRushlet()
    {
        TestEnvironment own;
        QVERIFY(writeManifest(own.dataFolder(), QJsonArray{origin}));
        const auto result = runHost(own, {firefoxManifest, addonId},
                                    frame(QJsonObject{{QStringLiteral("type"), QStringLiteral("status")},
                                                      {QStringLiteral("id"), QStringLiteral("a-1")}}));
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(messages(result.standardOutput),
                 QList<QJsonObject>{BridgeTestClient::errorReply(QStringLiteral("Rushlet is not running."))});
        QCOMPARE(BridgeTestClient::lockOwner(own), 0);
    }

    // A sender that stalls halfway is not waited for without end.
    void stalledSenderIsNotWaitedForever()
    {
        TestProgram host(QStringLiteral("RushletNativeHost"));
        QVERIFY(host.start({origin}, environment.processEnvironment()));
        host.process().write(frame(40, "{\"type\":"));
        QVERIFY(host.waitForExit(runLimitMs));
        QCOMPARE(host.exitCode(), 1);
        QCOMPARE(messages(host.standardOutput()),
                 QList<QJsonObject>{BridgeTestClient::errorReply(QStringLiteral("Incomplete message."))});
    }

    void repliesAreRelayed_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QJsonObject>("reply");

        const QJsonObject ok = BridgeTestClient::okReply();
        QTest::newRow("ping") << frame(BridgeTestClient::ping()) << ok;
        QTest::newRow("extra keys") << frame(QJsonObject{{QStringLiteral("type"), QStringLiteral("ping")},
                                                         {QStringLiteral("tab"), 7}})
                                    << ok;
        // The full length, most of it white space that the compact form drops on the way to Rushlet.
        QByteArray padded = "{\"type\":\"ping\"}";
        padded += QByteArray(65536 - padded.size(), ' ');
        QTest::newRow("length 65536") << frame(padded) << ok;
        // Only the first message is read; the browser sends one per start.
        QTest::newRow("second message ignored")
            << frame(BridgeTestClient::ping()) +
                   frame(QJsonObject{{QStringLiteral("type"), QStringLiteral("show")}})
            << ok;
    }

    void repliesAreRelayed()
    {
        QFETCH(QByteArray, input);
        QFETCH(QJsonObject, reply);
        const auto result = runHost(environment, {origin, QStringLiteral("--parent-window=0")}, input);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(messages(result.standardOutput), QList<QJsonObject>{reply});
    }

    // With no Rushlet running, the host starts one that keeps none of the host's streams.
    void pingStartsRushlet()
    {
        TestEnvironment own;
        QVERIFY(writeManifest(own.dataFolder(), QJsonArray{origin}));
        const auto result = runHost(own, {origin}, frame(BridgeTestClient::ping()));
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(messages(result.standardOutput), QList<QJsonObject>{BridgeTestClient::okReply()});

        const qint64 started = BridgeTestClient::lockOwner(own);
        QVERIFY(started > 0);
        const auto stop = qScopeGuard([started] { ::kill(pid_t(started), SIGKILL); });
        for (int descriptor = 0; descriptor < 3; ++descriptor) {
            QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(started).arg(descriptor)),
                     QStringLiteral("/dev/null"));
        }
        // A session of its own, so that ending the host's process group leaves it running.
        QFile stat(QStringLiteral("/proc/%1/stat").arg(started));
        QVERIFY(stat.open(QIODevice::ReadOnly));
        const QByteArray statFields = stat.readAll();
        const QList<QByteArray> afterName = statFields.mid(statFields.lastIndexOf(')') + 2).split(' ');
        QCOMPARE(afterName.value(3).toLongLong(), started);
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(started));
        QVERIFY(commandLine.open(QIODevice::ReadOnly));
        QVERIFY(commandLine.readAll().endsWith(QByteArray("\0--browser-launch\0", 18)));
        // It serves the next message without another start.
        QCOMPARE(messages(runHost(own, {origin}, frame(BridgeTestClient::ping())).standardOutput),
                 QList<QJsonObject>{BridgeTestClient::okReply()});
        QCOMPARE(BridgeTestClient::lockOwner(own), started);

        QCOMPARE(::kill(pid_t(started), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(processIsGone(started), runLimitMs);
    }
};

QTEST_GUILESS_MAIN(TestNativeHost)
#include "tst_NativeHost.moc"
