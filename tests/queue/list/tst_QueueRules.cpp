#include "engine/DownloadStatus.h"
#include "queue/list/QueueRules.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace QueueRules;

namespace {

QByteArray documentWith(const QJsonObject &element)
{
    return QJsonDocument(QJsonArray{element}).toJson();
}

QJsonObject validElement(const QString &id = QStringLiteral("d1"))
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("url"), QStringLiteral("https://example.org/file.zip")},
                       {QStringLiteral("destination"),
                        QString(QStringLiteral("/downloads/") + id + QStringLiteral(".zip"))}};
}

QJsonArray segmentsJson(int count)
{
    QJsonArray segments;
    for (int i = 0; i < count; ++i) {
        segments.append(QJsonObject{{QStringLiteral("start"), QString::number(i * 10)},
                                    {QStringLiteral("end"), QString::number(i * 10 + 9)},
                                    {QStringLiteral("received"), QStringLiteral("1")}});
    }
    return segments;
}

} // namespace

class TestQueueRules : public QObject
{
    Q_OBJECT

private slots:
    void savedFormRoundTrips()
    {
        DownloadSnapshot running;
        running.id = QStringLiteral("0b3c6f0e-2f6a-4c55-9b8e-0f3a1c2d4e5f");
        running.url = QUrl(QStringLiteral("https://example.org/a b/ünï.iso?x=1&y=%2F"));
        running.destination = QStringLiteral("/home/u/Downloads/ünï.iso");
        running.connections = 12;
        running.status = DownloadStatus::Downloading;
        // Everything the writer must escape, and a lone half of a surrogate pair.
        running.error = QString::fromUtf16(u"\"quoted\" back\\slash\ttab\nline\x01 \u00e9\u4e2d\U0001F600 ") +
                        QChar(0xd800);
        // Beyond 2^53, where a JSON number would lose the last digits.
        running.total = 9007199254740993LL;
        running.received = 9007199254740001LL;
        running.speed = 123456.0;
        running.resumable = true;
        running.checksum = QStringLiteral("sha-256=") + QString(64, QLatin1Char('e'));
        running.speedLimit = 9007199254740993LL;
        running.segments = {SegmentProgress{0, 4503599627370495LL, 4503599627370000LL},
                            SegmentProgress{4503599627370496LL, 9007199254740992LL, 4503599627370001LL}};
        DownloadSnapshot awaiting;
        awaiting.id = QStringLiteral("chrome-17");
        awaiting.destination = QStringLiteral("/home/u/Downloads/b.bin");
        awaiting.status = DownloadStatus::AwaitingConfirmation;

        const QByteArray document = writeQueue({running, awaiting});
        const QJsonArray array = QJsonDocument::fromJson(document).array();
        QCOMPARE(array.size(), 2);
        const QJsonObject first = array.first().toObject();
        QCOMPARE(first.value(QStringLiteral("total")), QJsonValue(QStringLiteral("9007199254740993")));
        QCOMPARE(first.value(QStringLiteral("connections")), QJsonValue(12));
        QCOMPARE(first.value(QStringLiteral("status")), QJsonValue(DownloadStatus::Paused));
        QVERIFY(!first.contains(QStringLiteral("speed")));
        QCOMPARE(first.value(QStringLiteral("limit")), QJsonValue(QStringLiteral("9007199254740993")));
        // Fields a download does not use stay out of the file, as in lists written before them.
        const QJsonObject second = array.last().toObject();
        QVERIFY(!second.contains(QStringLiteral("limit")));
        QVERIFY(!second.contains(QStringLiteral("checksum")));
        QVERIFY(document.contains("\n    {"));

        const QueueReadResult read = readQueue(document);
        QVERIFY(read.readable);
        QCOMPARE(read.snapshots.size(), 2);
        const DownloadSnapshot &back = read.snapshots.first();
        QCOMPARE(back.id, running.id);
        QCOMPARE(back.url, running.url);
        QCOMPARE(back.destination, running.destination);
        QCOMPARE(back.connections, running.connections);
        QCOMPARE(back.status, DownloadStatus::Paused);
        QCOMPARE(back.error, running.error);
        QCOMPARE(back.total, running.total);
        QCOMPARE(back.received, running.received);
        QCOMPARE(back.resumable, true);
        QCOMPARE(back.segments, running.segments);
        QCOMPARE(back.checksum, running.checksum);
        QCOMPARE(back.speedLimit, running.speedLimit);
        QCOMPARE(read.snapshots.last().status, DownloadStatus::AwaitingConfirmation);
        QCOMPARE(read.snapshots.last().total, -1);
    }

    // A browser download keeps the browser's session in the list until it completes, so that a
    // resume after a restart still has it; a completed one keeps no secret, and a session tampered
    // with in the file never reaches a request.
    void browserSessionKeptUntilCompletion()
    {
        DownloadSnapshot waiting;
        waiting.id = QStringLiteral("chrome-abc");
        waiting.destination = QStringLiteral("/home/u/Downloads/a.zip");
        waiting.context.finalUrl = QUrl(QStringLiteral("https://cdn.example.com/a.zip?sig=%2B1"));
        waiting.context.userAgent = "Browser/1.0";
        waiting.context.size = 9007199254740993LL;
        waiting.context.cookies = {{"sid", QStringLiteral("ünï=1").toUtf8(), QStringLiteral(".example.com"),
                                    QStringLiteral("/"), false, true, 1893456000}};
        const QByteArray document = writeQueue({waiting});
        QCOMPARE(readQueue(document).snapshots.first().context, waiting.context);
        const QByteArray tampered = QByteArray(document).replace("Browser/1.0", "Browser\\r\\nX-Injected: 1");
        QVERIFY(readQueue(tampered).snapshots.first().context.isEmpty());
        waiting.status = DownloadStatus::Completed;
        QVERIFY(!writeQueue({waiting}).contains("context"));
    }

    void fieldsReadWithDefaultsAndClamps_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QVariant>("expected");

        const QString connections = QStringLiteral("connections");
        QTest::newRow("connections missing")
            << connections << QJsonValue(QJsonValue::Undefined) << QVariant(8);
        QTest::newRow("connections 0") << connections << QJsonValue(0) << QVariant(1);
        QTest::newRow("connections negative") << connections << QJsonValue(-5) << QVariant(1);
        QTest::newRow("connections 40") << connections << QJsonValue(40) << QVariant(16);
        QTest::newRow("connections absurd") << connections << QJsonValue(1e300) << QVariant(16);
        QTest::newRow("connections as string")
            << connections << QJsonValue(QStringLiteral("4")) << QVariant(8);

        const QString status = QStringLiteral("status");
        QTest::newRow("status missing")
            << status << QJsonValue(QJsonValue::Undefined) << QVariant(DownloadStatus::Paused);
        QTest::newRow("status number") << status << QJsonValue(3) << QVariant(DownloadStatus::Paused);
        QTest::newRow("status kept") << status << QJsonValue(DownloadStatus::Error)
                                     << QVariant(DownloadStatus::Error);

        const QString total = QStringLiteral("total");
        QTest::newRow("total as number") << total << QJsonValue(1234) << QVariant(qint64(0));
        QTest::newRow("total unknown") << total << QJsonValue(QStringLiteral("-1")) << QVariant(qint64(-1));
        QTest::newRow("total not digits")
            << total << QJsonValue(QStringLiteral("12kB")) << QVariant(qint64(0));
        QTest::newRow("total beyond 64 bits")
            << total << QJsonValue(QStringLiteral("99999999999999999999999")) << QVariant(qint64(0));
        QTest::newRow("total missing") << total << QJsonValue(QJsonValue::Undefined) << QVariant(qint64(0));

        const QString limit = QStringLiteral("limit");
        QTest::newRow("limit missing") << limit << QJsonValue(QJsonValue::Undefined) << QVariant(qint64(0));
        QTest::newRow("limit as number") << limit << QJsonValue(4096) << QVariant(qint64(0));
        QTest::newRow("limit negative")
            << limit << QJsonValue(QStringLiteral("-4096")) << QVariant(qint64(0));
        QTest::newRow("limit kept") << limit << QJsonValue(QStringLiteral("4096")) << QVariant(qint64(4096));

        QTest::newRow("resumable not a boolean")
            << QStringLiteral("resumable") << QJsonValue(QStringLiteral("true")) << QVariant(false);
        QTest::newRow("error not a string")
            << QStringLiteral("error") << QJsonValue(7) << QVariant(QString());
        QTest::newRow("segments not an array")
            << QStringLiteral("segments") << QJsonValue(QStringLiteral("0-9")) << QVariant(0);
    }

    void fieldsReadWithDefaultsAndClamps()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);
        QFETCH(QVariant, expected);

        QJsonObject element = validElement();
        if (!stored.isUndefined())
            element.insert(key, stored);
        const QueueReadResult read = readQueue(documentWith(element));
        QCOMPARE(read.snapshots.size(), 1);
        const DownloadSnapshot &snapshot = read.snapshots.first();
        const QMap<QString, QVariant> actual{{QStringLiteral("connections"), snapshot.connections},
                                             {QStringLiteral("status"), snapshot.status},
                                             {QStringLiteral("total"), snapshot.total},
                                             {QStringLiteral("resumable"), snapshot.resumable},
                                             {QStringLiteral("error"), snapshot.error},
                                             {QStringLiteral("limit"), snapshot.speedLimit},
                                             {QStringLiteral("segments"), int(snapshot.segments.size())}};
        QCOMPARE(actual.value(key), expected);
    }

    void segmentsKeepTheirOrderUpToSixteen()
    {
        QJsonObject element = validElement();
        element.insert(QStringLiteral("segments"), segmentsJson(20));
        const DownloadSnapshot snapshot = entryFromJson(element);
        QCOMPARE(snapshot.segments.size(), 16);
        QCOMPARE(snapshot.segments.last(), (SegmentProgress{150, 159, 1}));
    }

    void malformedElementsAreSkipped()
    {
        QJsonObject noId = validElement(QStringLiteral("x"));
        noId.remove(QStringLiteral("id"));
        QJsonObject numericId = validElement(QStringLiteral("y"));
        numericId.insert(QStringLiteral("id"), 42);
        QJsonObject relative = validElement(QStringLiteral("rel"));
        relative.insert(QStringLiteral("destination"), QStringLiteral("Downloads/rel.zip"));
        QJsonObject noDestination = validElement(QStringLiteral("nodest"));
        noDestination.remove(QStringLiteral("destination"));
        QJsonObject duplicateId = validElement(QStringLiteral("a"));
        duplicateId.insert(QStringLiteral("destination"), QStringLiteral("/downloads/other.zip"));
        QJsonObject sameFile = validElement(QStringLiteral("b"));
        sameFile.insert(QStringLiteral("destination"), QStringLiteral("/downloads/x/../a.zip"));
        // Another file on a file system that tells letter case apart.
        QJsonObject otherCase = validElement(QStringLiteral("c"));
        otherCase.insert(QStringLiteral("destination"), QStringLiteral("/downloads/A.zip"));
        // The id of a skipped element is not taken: a later valid element may use it.
        QJsonObject laterRel = validElement(QStringLiteral("rel"));

        const QJsonArray array{validElement(QStringLiteral("a")),
                               noId,
                               numericId,
                               17,
                               QStringLiteral("text"),
                               QJsonArray{},
                               relative,
                               noDestination,
                               duplicateId,
                               sameFile,
                               otherCase,
                               laterRel};
        const QueueReadResult read = readQueue(QJsonDocument(array).toJson());
        QVERIFY(read.readable);
        QStringList ids;
        for (const DownloadSnapshot &snapshot : read.snapshots)
            ids.append(snapshot.id);
        QCOMPARE(ids, (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("rel")}));
        QCOMPARE(read.snapshots.first().destination, QStringLiteral("/downloads/a.zip"));
    }

    // Elements are parsed one at a time; the document as a whole must still be judged exactly as
    // a JSON parser judges it, or a damaged list would pass for a shorter one and be saved over.
    void readableExactlyWhenTheWholeDocumentParses_data()
    {
        QTest::addColumn<QByteArray>("document");
        // Brackets, a comma and an escaped quote inside strings must not end the element.
        const QByteArray element = "{\"id\": \"a]\\\"},{\", \"destination\": \"/d/[a].zip\"}";
        const QList<QByteArray> documents{"[]",
                                          " \r\n[ \t]\n",
                                          "\xef\xbb\xbf[" + element + "]",
                                          "[" + element + "," + element + "]",
                                          "[[1,[2]],{\"x\":{}},\"s\",3,null,true]",
                                          "",
                                          "{}",
                                          "null",
                                          "[",
                                          "[" + element,
                                          "[,]",
                                          "[" + element + ",]",
                                          "[," + element + "]",
                                          "[1 2]",
                                          "[{]}",
                                          "[[}]",
                                          "[1]]",
                                          "[1] x",
                                          "[\"unterminated]",
                                          "[{\"id\": \"a\\\"]}",
                                          "[1,,2]",
                                          "[ ] ,",
                                          "[1},2]"};
        for (const QByteArray &document : documents)
            QTest::newRow(document.constData()) << document;
    }

    void readableExactlyWhenTheWholeDocumentParses()
    {
        QFETCH(QByteArray, document);
        QJsonParseError error;
        const QJsonDocument whole = QJsonDocument::fromJson(document, &error);
        const bool parses = error.error == QJsonParseError::NoError && whole.isArray();
        const QueueReadResult read = readQueue(document);
        QCOMPARE(read.readable, parses);
        if (!parses)
            QVERIFY(read.snapshots.isEmpty());
        else
            QCOMPARE(read.snapshots.size(), document.count("/d/[a].zip") > 0 ? 1 : 0);
    }

    void repairAgainstDisk_data()
    {
        QTest::addColumn<QString>("onDisk");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");

        const QString exists = QStringLiteral("A destination file already exists. Verify it before retrying; "
                                              "Rushlet will not overwrite it.");
        const QString gone = QStringLiteral("The completed file was moved or deleted.");
        const QString kept = QStringLiteral("earlier error");
        QTest::newRow("file, completed")
            << "file" << DownloadStatus::Completed << DownloadStatus::Completed << kept;
        QTest::newRow("file, queued") << "file" << DownloadStatus::Queued << DownloadStatus::Error << exists;
        QTest::newRow("file, downloading")
            << "file" << DownloadStatus::Downloading << DownloadStatus::Error << exists;
        QTest::newRow("file, awaiting")
            << "file" << DownloadStatus::AwaitingConfirmation << DownloadStatus::Error << exists;
        QTest::newRow("folder, paused")
            << "folder" << DownloadStatus::Paused << DownloadStatus::Error << exists;
        QTest::newRow("folder, completed")
            << "folder" << DownloadStatus::Completed << DownloadStatus::Error << gone;
        QTest::newRow("none, completed")
            << "none" << DownloadStatus::Completed << DownloadStatus::Error << gone;
        QTest::newRow("none, connecting")
            << "none" << DownloadStatus::Connecting << DownloadStatus::Paused << kept;
        QTest::newRow("none, retrying")
            << "none" << DownloadStatus::Retrying << DownloadStatus::Paused << kept;
        QTest::newRow("none, error") << "none" << DownloadStatus::Error << DownloadStatus::Error << kept;
        QTest::newRow("none, awaiting")
            << "none" << DownloadStatus::AwaitingConfirmation << DownloadStatus::AwaitingConfirmation << kept;
        QTest::newRow("none, unknown")
            << "none" << QStringLiteral("Frozen") << QStringLiteral("Frozen") << kept;
    }

    void repairAgainstDisk()
    {
        QFETCH(QString, onDisk);
        QFETCH(QString, stored);
        QFETCH(QString, status);
        QFETCH(QString, error);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString destination = folder.filePath(QStringLiteral("file.bin"));
        if (onDisk == QLatin1String("file")) {
            QFile file(destination);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(777, 'x'));
        } else if (onDisk == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(destination));
        }
        DownloadSnapshot snapshot;
        snapshot.destination = destination;
        snapshot.status = stored;
        snapshot.error = QStringLiteral("earlier error");
        snapshot.total = 500;
        snapshot.received = 500;

        const DownloadSnapshot repaired = QueueRules::repairAgainstDisk(snapshot);
        QCOMPARE(repaired.status, status);
        QCOMPARE(repaired.error, error);
        // A completed file keeps the size it has now, which may differ from the stored one.
        const qint64 expectedSize = status == DownloadStatus::Completed ? 777 : 500;
        QCOMPARE(repaired.total, expectedSize);
        QCOMPARE(repaired.received, expectedSize);
    }

    void destinationsCompareCleanedWithLetterCase()
    {
        QVERIFY(sameDestination(QStringLiteral("/home/u/Downloads/Report.PDF"),
                                QStringLiteral("/home/u/Downloads/./x/../Report.PDF")));
        QVERIFY(!sameDestination(QStringLiteral("/x/Report.pdf"), QStringLiteral("/x/report.pdf")));
        QVERIFY(sameDestination(QStringLiteral("/a//b.zip"), QStringLiteral("/a/b.zip")));
        QVERIFY(!sameDestination(QStringLiteral("/a/b.zip"), QStringLiteral("/a/b.zip.part")));
        QVERIFY(!sameDestination(QStringLiteral("/a/b.zip"), QStringLiteral("/c/b.zip")));
    }
};

QTEST_APPLESS_MAIN(TestQueueRules)
#include "tst_QueueRules.moc"
