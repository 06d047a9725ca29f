#include "engine/ResumeCheckpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using ResumeCheckpoint::Contents;

namespace {

const QUrl downloadUrl(QStringLiteral("https://example.invalid/d%C3%A9j%C3%A0 vu.bin?x=1&y=%2F"));
const QString downloadDestination = QStringLiteral("/home/user/Downloads/déjà vu.bin");

Contents sample()
{
    Contents contents;
    contents.url = downloadUrl;
    contents.destination = downloadDestination;
    contents.total = 6'000'000'000LL;
    contents.etag = "\"abc\"";
    contents.lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";
    contents.segments = {{0, 2'999'999'999LL, 1'000'000'000LL}, {3'000'000'000LL, 5'999'999'999LL, 0}};
    return contents;
}

QByteArray edited(const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject object = QJsonDocument::fromJson(ResumeCheckpoint::toJson(sample())).object();
    edit(object);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestResumeCheckpoint : public QObject
{
    Q_OBJECT

private slots:
    // Other readers rely on the exact keys and on counts written as strings.
    void documentForm()
    {
        const QByteArray json = ResumeCheckpoint::toJson(sample());
        QVERIFY(json.contains('\n'));
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.keys(),
                 (QStringList{"destination", "etag", "modified", "segments", "total", "url", "version"}));
        QCOMPARE(object.value("version").toDouble(), 1.0);
        QCOMPARE(object.value("url").toString(),
                 QStringLiteral("https://example.invalid/d%C3%A9j%C3%A0%20vu.bin?x=1&y=%2F"));
        QCOMPARE(object.value("destination").toString(), downloadDestination);
        QCOMPARE(object.value("total").toString(), QStringLiteral("6000000000"));
        QCOMPARE(object.value("etag").toString(), QStringLiteral("\"abc\""));
        QCOMPARE(object.value("modified").toString(), QStringLiteral("Wed, 21 Oct 2015 07:28:00 GMT"));
        const QJsonObject first = object.value("segments").toArray().at(0).toObject();
        QCOMPARE(first.value("start").toString(), QStringLiteral("0"));
        QCOMPARE(first.value("end").toString(), QStringLiteral("2999999999"));
        QCOMPARE(first.value("received").toString(), QStringLiteral("1000000000"));
    }

    void roundTrip()
    {
        Contents read;
        QVERIFY(ResumeCheckpoint::read(ResumeCheckpoint::toJson(sample()), downloadUrl, downloadDestination,
                                       &read));
        QCOMPARE(read.total, sample().total);
        QCOMPARE(read.etag, sample().etag);
        QCOMPARE(read.lastModified, sample().lastModified);
        QCOMPARE(read.segments, sample().segments);
    }

    void recognition_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("recognised");
        QTest::newRow("compact layout") << edited([](QJsonObject &) {}) << true;
        QTest::newRow("other version") << edited([](QJsonObject &o) { o["version"] = 2; }) << false;
        QTest::newRow("version as text") << edited([](QJsonObject &o) { o["version"] = "1"; }) << false;
        QTest::newRow("other url") << edited([](QJsonObject &o) {
            o["url"] = "https://example.invalid/other";
        }) << false;
        QTest::newRow("decoded url") << edited([](QJsonObject &o) {
            o["url"] = QStringLiteral("https://example.invalid/déjà vu.bin?x=1&y=%2F");
        }) << false;
        QTest::newRow("destination differs in case") << edited([](QJsonObject &o) {
            o["destination"] = QStringLiteral("/home/user/Downloads/DÉJÀ VU.bin");
        }) << false;
        QTest::newRow("not json") << QByteArray("{\"version\": 1,") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("array") << QByteArray("[1]") << false;
    }

    void recognition()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, recognised);
        Contents read;
        QCOMPARE(ResumeCheckpoint::read(json, downloadUrl, downloadDestination, &read), recognised);
    }

    void damagedCountsReadAsZero()
    {
        Contents read;
        const QByteArray json = edited([](QJsonObject &o) {
            o["total"] = 12;
            o["segments"] = QJsonArray{QJsonObject{{"start", "0"}, {"end", "x9"}}};
        });
        QVERIFY(ResumeCheckpoint::read(json, downloadUrl, downloadDestination, &read));
        QCOMPARE(read.total, qint64(0));
        QCOMPARE(read.segments, (QList<SegmentProgress>{{0, 0, 0}}));
    }

    void restore_data()
    {
        QTest::addColumn<QList<SegmentProgress>>("stored");
        QTest::addColumn<qint64>("storedTotal");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<bool>("rangeSupported");
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArray>("modified");
        QTest::addColumn<qint64>("partSize");
        QTest::addColumn<bool>("restored");

        const QList<SegmentProgress> plan{{0, 249, 100}, {250, 499, 250}, {500, 999, 0}};
        const QByteArray etag = "\"abc\"";
        const QByteArray modified = "Wed, 21 Oct 2015 07:28:00 GMT";
        const QByteArray none;
        const auto row = [&](const char *name, const QList<SegmentProgress> &stored, qint64 storedTotal,
                             qint64 total, bool ranges, const QByteArray &probedEtag,
                             const QByteArray &probedModified, qint64 partSize, bool restored) {
            QTest::newRow(name) << stored << storedTotal << total << ranges << probedEtag << probedModified
                                << partSize << restored;
        };
        row("same etag", plan, 1000, 1000, true, etag, none, 500, true);
        row("etag decides over a changed date", plan, 1000, 1000, true, etag, "other", 500, true);
        row("same date, no etag", plan, 1000, 1000, true, none, modified, 500, true);
        row("etag changed", plan, 1000, 1000, true, "\"new\"", modified, 500, false);
        row("no validator", plan, 1000, 1000, true, none, none, 500, false);
        row("ranges stopped", plan, 1000, 1000, false, etag, none, 500, false);
        row("size changed", plan, 1000, 1001, true, etag, none, 500, false);
        row("gap", {{0, 249, 0}, {251, 999, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("overlap", {{0, 249, 0}, {249, 999, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("not from zero", {{1, 999, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("short of the end", {{0, 249, 0}, {250, 998, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("past the end", {{0, 249, 0}, {250, 1000, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("reversed", {{0, 999, 0}, {1000, 999, 0}}, 1000, 1000, true, etag, none, 0, false);
        row("overfull segment", {{0, 249, 251}, {250, 999, 0}}, 1000, 1000, true, etag, none, 1000, false);
        row("negative received", {{0, 999, -1}}, 1000, 1000, true, etag, none, 1000, false);
        row("claims bytes the file lacks", plan, 1000, 1000, true, etag, none, 499, false);
        row("empty list", {}, 1000, 1000, true, etag, none, 0, false);
        QList<SegmentProgress> seventeen;
        for (qint64 i = 0; i < 17; ++i)
            seventeen.append({i, i, 1});
        row("sixteen ranges", seventeen.mid(0, 16), 16, 16, true, etag, none, 16, true);
        row("seventeen ranges", seventeen, 17, 17, true, etag, none, 17, false);
        row("unknown size", {{0, -2, 10}}, -1, -1, true, etag, none, 10, false);
    }

    void restore()
    {
        QFETCH(QList<SegmentProgress>, stored);
        QFETCH(qint64, storedTotal);
        QFETCH(qint64, total);
        QFETCH(bool, rangeSupported);
        QFETCH(QByteArray, etag);
        QFETCH(QByteArray, modified);
        QFETCH(qint64, partSize);
        QFETCH(bool, restored);

        Contents contents = sample();
        contents.total = storedTotal;
        contents.segments = stored;
        const QList<SegmentProgress> result =
            ResumeCheckpoint::restorableSegments(contents, total, rangeSupported, etag, modified, partSize);
        QCOMPARE(result, restored ? stored : QList<SegmentProgress>{});
    }
};

QTEST_GUILESS_MAIN(TestResumeCheckpoint)
#include "tst_ResumeCheckpoint.moc"
