#include "bridge/intake/BrowserIntake.h"
#include "engine/DownloadSnapshot.h"
#include "tests/support/BridgeTestClient.h"
#include "tests/support/NativeHostFrames.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProgram.h"

#include <QSettings>
#include <QTest>

#include <memory>

namespace {

constexpr int startLimitMs = 30000;

QString folderOf(const TestEnvironment &environment)
{
    return environment.scratch() + QStringLiteral("/downloads");
}

QJsonObject download(const QString &id, const QString &url, const QString &filename = {})
{
    QJsonObject request{{QStringLiteral("type"), QStringLiteral("download")},
                        {QStringLiteral("url"), url},
                        {QStringLiteral("id"), id}};
    if (!filename.isNull())
        request.insert(QStringLiteral("filename"), filename);
    return request;
}

QJsonObject accepted(const QString &id)
{
    return {{QStringLiteral("ok"), true}, {QStringLiteral("id"), QString(QStringLiteral("chrome-") + id)}};
}

QJsonObject status(const QString &id)
{
    return {{QStringLiteral("type"), QStringLiteral("status")}, {QStringLiteral("id"), id}};
}

QJsonObject state(const QString &name)
{
    return {{QStringLiteral("ok"), true}, {QStringLiteral("state"), name}};
}

// A Rushlet of its own whose browser downloads go to folderOf(environment).
class Instance
{
public:
    Instance(bool withDownloadFolder = true)
    {
        if (withDownloadFolder) {
            QSettings settings(environment.configHome() + QStringLiteral("/Rushlet/Rushlet.conf"),
                               QSettings::IniFormat);
            settings.setValue(QStringLiteral("downloadFolder"), folderOf(environment));
        }
        QDir().mkpath(folderOf(environment));
    }

    bool start()
    {
        return rushlet.start({QStringLiteral("--browser-launch")}, environment.processEnvironment()) &&
               BridgeTestClient::waitForServer(environment, startLimitMs);
    }

    QJsonObject send(const QJsonObject &request) { return BridgeTestClient::exchange(environment, request); }

    TestEnvironment environment;
    TestProgram rushlet{QStringLiteral("Rushlet")};
};

} // namespace

// Browser download requests sent to a real Rushlet, checked in the list it saves.
class TestBrowserIntake : public QObject
{
    Q_OBJECT

private slots:
    void namesAndTheSavedEntry_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("expected");

        const QString url = QStringLiteral("https://example.com/files/file.zip");
        QTest::newRow("free") << QStringList() << url << QString() << QStringLiteral("file.zip");
        QTest::newRow("file there") << QStringList{QStringLiteral("file.zip")} << url << QString()
                                    << QStringLiteral("file (1).zip");
        QTest::newRow("only a partial file") << QStringList{QStringLiteral("file.zip.rushlet.part")} << url
                                             << QString() << QStringLiteral("file (1).zip");
        QTest::newRow("two taken") << QStringList{QStringLiteral("file.zip"), QStringLiteral("file (1).zip")}
                                   << url << QString() << QStringLiteral("file (2).zip");
        QTest::newRow("suggested name wins")
            << QStringList() << url << QStringLiteral("other.bin") << QStringLiteral("other.bin");
        QTest::newRow("name from the decoded URL")
            << QStringList() << QStringLiteral("https://example.com/a/report%20final.pdf?x=1") << QString()
            << QStringLiteral("report final.pdf");
        QTest::newRow("URL ending in a slash") << QStringList() << QStringLiteral("https://example.com/dir/")
                                               << QString() << QStringLiteral("download");
        // The suggested name passes through the sanitiser.
        QTest::newRow("folders stripped")
            << QStringList() << url << QStringLiteral("..\\..\\evil.exe") << QStringLiteral("evil.exe");
    }

    void namesAndTheSavedEntry()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, url);
        QFETCH(QString, filename);
        QFETCH(QString, expected);

        Instance instance;
        const QDir folder(folderOf(instance.environment));
        for (const QString &name : existing)
            QVERIFY(TestEnvironment::writeFile(folder.filePath(name), {}));
        QVERIFY(instance.start());

        QCOMPARE(instance.send(download(QStringLiteral("d-1"), url, filename)),
                 accepted(QStringLiteral("d-1")));
        const QJsonArray queue = instance.environment.savedQueue();
        QCOMPARE(queue.size(), 1);
        const QJsonObject entry = queue.at(0).toObject();
        QCOMPARE(entry.value(QStringLiteral("id")).toString(), QStringLiteral("chrome-d-1"));
        QCOMPARE(entry.value(QStringLiteral("destination")).toString(), folder.filePath(expected));
        QCOMPARE(entry.value(QStringLiteral("status")).toString(), QStringLiteral("Awaiting confirmation"));
        QCOMPARE(entry.value(QStringLiteral("connections")).toInt(), 8);
        QCOMPARE(QUrl(entry.value(QStringLiteral("url")).toString()), QUrl(url));
        // Nothing is written before the user confirms.
        QVERIFY(!QFile::exists(folder.filePath(expected)));
    }

    // The list's destinations count as taken by the file system's letter-case rule (on Linux a name
    // differing in case is another file); a repeated browser id adds nothing and keeps the first name.
    void secondRequests()
    {
        Instance instance;
        QVERIFY(instance.start());
        const QString url = QStringLiteral("https://example.com/Report.PDF");
        QCOMPARE(instance.send(download(QStringLiteral("a"), url)), accepted(QStringLiteral("a")));
        QCOMPARE(instance.send(download(QStringLiteral("b"), url, QStringLiteral("report.pdf"))),
                 accepted(QStringLiteral("b")));
        QCOMPARE(instance.send(download(QStringLiteral("a"), url, QStringLiteral("renamed.pdf"))),
                 accepted(QStringLiteral("a")));

        const QJsonArray queue = instance.environment.savedQueue();
        QCOMPARE(queue.size(), 2);
        const QDir folder(folderOf(instance.environment));
        QCOMPARE(queue.at(0).toObject().value(QStringLiteral("destination")).toString(),
                 folder.filePath(QStringLiteral("Report.PDF")));
        QCOMPARE(queue.at(1).toObject().value(QStringLiteral("destination")).toString(),
                 folder.filePath(QStringLiteral("report.pdf")));
    }

    // An id is a repeat only for its own link: the browser drops its copy once Rushlet has the
    // download, so an id taken by another link is refused. The browser's session is kept with the
    // entry; "status" answers for any id, as often as asked.
    void repeatsSessionAndStatus()
    {
        Instance instance;
        QVERIFY(instance.start());
        const QString url = QStringLiteral("https://example.com/a.zip");
        QJsonObject first = download(QStringLiteral("r-1"), url);
        first.insert(QStringLiteral("useragent"), QStringLiteral("Browser/1.0"));
        QCOMPARE(instance.send(first), accepted(QStringLiteral("r-1")));
        QCOMPARE(instance.send(download(QStringLiteral("r-1"), url)), accepted(QStringLiteral("r-1")));
        QCOMPARE(instance.send(download(QStringLiteral("r-1"), QStringLiteral("https://example.com/b.zip"))),
                 BridgeTestClient::errorReply(
                     QStringLiteral("This download id is already taken by another download.")));
        const QJsonArray queue = instance.environment.savedQueue();
        QCOMPARE(queue.size(), 1);
        QCOMPARE(queue.at(0)[QStringLiteral("context")][QStringLiteral("useragent")],
                 QJsonValue(QStringLiteral("Browser/1.0")));

        QCOMPARE(instance.send(status(QStringLiteral("r-1"))), state(QStringLiteral("awaiting")));
        for (int i = 0; i < 100; ++i)
            QCOMPARE(instance.send(status(QStringLiteral("never-sent"))), state(QStringLiteral("unknown")));
    }

    // The browser erases its copy on "fetching" and "done", resumes it on "failed" and "unknown",
    // cancels it on "gone": bytes in Rushlet's hands count whatever the status, and only they.
    void handOffStates()
    {
        const QList<std::tuple<QString, qint64, QString>> table = {
            {DownloadStatus::AwaitingConfirmation, 0, QStringLiteral("awaiting")},
            {DownloadStatus::Paused, 0, QStringLiteral("queued")},
            {DownloadStatus::Retrying, 0, QStringLiteral("queued")},
            {DownloadStatus::Paused, 1, QStringLiteral("fetching")},
            {DownloadStatus::Error, 10, QStringLiteral("fetching")},
            {DownloadStatus::Error, 0, QStringLiteral("failed")},
            {DownloadStatus::Completed, 0, QStringLiteral("done")}};
        for (const auto &[status, received, expected] : table) {
            DownloadSnapshot snapshot;
            snapshot.status = status;
            snapshot.received = received;
            QCOMPARE(BrowserIntake::handOffState(&snapshot, false), expected);
        }
        // Only the user's own removal makes the browser give up its copy.
        QCOMPARE(BrowserIntake::handOffState(nullptr, true), QStringLiteral("gone"));
        QCOMPARE(BrowserIntake::handOffState(nullptr, false), QStringLiteral("unknown"));
    }

    // An entry whose save failed is taken back, so the same request later is a new one.
    void failedSaveIsRolledBack()
    {
        Instance instance;
        const QString queuePath = instance.environment.dataFolder() + QStringLiteral("/queue.json");
        QVERIFY(instance.start());
        // A folder in its place cannot be replaced by a saved file, not even by root. Made after
        // the start, so that it is not taken for an unreadable list and moved aside.
        QVERIFY(QDir().mkpath(queuePath + QStringLiteral("/blocked")));

        const QJsonObject request =
            download(QStringLiteral("s1"), QStringLiteral("https://example.com/s.iso"));
        QCOMPARE(instance.send(request),
                 BridgeTestClient::errorReply(QStringLiteral("Could not save the download queue.")));
        QVERIFY(QDir(queuePath).removeRecursively());

        QCOMPARE(instance.send(request), accepted(QStringLiteral("s1")));
        const QJsonArray queue = instance.environment.savedQueue();
        QCOMPARE(queue.size(), 1);
        QCOMPARE(queue.at(0).toObject().value(QStringLiteral("destination")).toString(),
                 QDir(folderOf(instance.environment)).filePath(QStringLiteral("s.iso")));
    }

    void noFreeName()
    {
        Instance instance;
        const QDir folder(folderOf(instance.environment));
        QVERIFY(TestEnvironment::writeFile(folder.filePath(QStringLiteral("f.bin")), {}));
        for (int n = 1; n < 10000; ++n)
            QVERIFY(TestEnvironment::writeFile(folder.filePath(QStringLiteral("f (%1).bin").arg(n)), {}));
        QVERIFY(instance.start());
        QCOMPARE(instance.send(download(QStringLiteral("f"), QStringLiteral("https://example.com/f.bin"))),
                 BridgeTestClient::errorReply(QStringLiteral("Could not choose a free file name.")));
        QVERIFY(!QFile::exists(instance.environment.dataFolder() + QStringLiteral("/queue.json")));
    }

    void systemDownloadFolderWithoutASetting()
    {
        Instance instance(false);
        QVERIFY(instance.start());
        QCOMPARE(instance.send(download(QStringLiteral("x"), QStringLiteral("https://example.com/x.tar.gz"))),
                 accepted(QStringLiteral("x")));
        QCOMPARE(instance.environment.savedQueue()
                     .at(0)
                     .toObject()
                     .value(QStringLiteral("destination"))
                     .toString(),
                 instance.environment.home() + QStringLiteral("/Downloads/x.tar.gz"));
    }

    // The way the browser sends a download: through the host, which relays Rushlet's answer.
    void throughTheNativeHost()
    {
        Instance instance;
        QVERIFY(NativeHostFrames::writeManifest(instance.environment.dataFolder(),
                                                QJsonArray{NativeHostFrames::origin}));
        QVERIFY(instance.start());
        const auto host =
            TestProgram::run(QStringLiteral("RushletNativeHost"), {NativeHostFrames::origin},
                             instance.environment.processEnvironment(), startLimitMs,
                             NativeHostFrames::frame(download(QStringLiteral("h-9"),
                                                              QStringLiteral("https://example.com/h.zip"))));
        QCOMPARE(host.exitCode, 0);
        QCOMPARE(NativeHostFrames::messages(host.standardOutput),
                 QList<QJsonObject>{accepted(QStringLiteral("h-9"))});
        QCOMPARE(instance.environment.savedQueue().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBrowserIntake)
#include "tst_BrowserIntake.moc"
