#include "update/UpdateFeedRules.h"
#include "update/UpdateSource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

enum class Outcome
{
    Invalid,
    UpToDate,
    Available
};

const QString member = UpdateSource::feedMember();
const QString link = QStringLiteral("https://dl.%1/rushlet-1.2.0.tar.gz").arg(UpdateSource::makerDomain());

QJsonObject release(const QJsonValue &version, const QJsonValue &url = link)
{
    return {{QStringLiteral("version"), version},
            {QStringLiteral("url"), url},
            {QStringLiteral("size"), QStringLiteral("12.5 MB")},
            {QStringLiteral("date"), QStringLiteral("2024-05-01")},
            {QStringLiteral("change"), QJsonArray{QStringLiteral("Faster"), QStringLiteral("Fixes")}}};
}

QJsonObject with(QJsonObject object, const QString &key, const QJsonValue &value)
{
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);
    return object;
}

QByteArray feed(const QJsonValue &entry, const QString &name = member)
{
    return QJsonDocument(QJsonObject{{name, entry}}).toJson();
}

// A valid feed padded with white space to exactly `bytes`.
QByteArray feedOfSize(qsizetype bytes)
{
    const QByteArray body = feed(release(QStringLiteral("1.2.0")));
    return body + QByteArray(bytes - body.size(), ' ');
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestUpdateFeedRules : public QObject
{
    Q_OBJECT

private slots:
    void judgesAFeed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        const QJsonObject newer = release(QStringLiteral("1.2.0"));
        const QString other =
            member == QLatin1String("linux") ? QStringLiteral("win") : QStringLiteral("linux");
        const auto row = [](const char *name, const QByteArray &body, Outcome outcome) {
            QTest::newRow(name) << body << outcome;
        };
        row("newer", feed(newer), Outcome::Available);
        row("same", feed(release(QStringLiteral("1.1.0"))), Outcome::UpToDate);
        row("older", feed(release(QStringLiteral("1.0.9"))), Outcome::UpToDate);
        row("same in two numbers", feed(release(QStringLiteral("1.1"))), Outcome::UpToDate);
        row("a fourth number, even 0", feed(release(QStringLiteral("1.1.0.0"))), Outcome::Available);
        row("another platform's release only", feed(newer, other), Outcome::Invalid);
        row("malformed JSON", "{\"" + member.toUtf8() + "\": {", Outcome::Invalid);
        row("not an object", "[]", Outcome::Invalid);
        row("release not an object", feed(QStringLiteral("1.2.0")), Outcome::Invalid);
        row("version as a number", feed(release(1.2)), Outcome::Invalid);
        row("leading v", feed(release(QStringLiteral("v1.2.0"))), Outcome::Invalid);
        row("one number", feed(release(QStringLiteral("2"))), Outcome::Invalid);
        row("five numbers", feed(release(QStringLiteral("1.2.0.0.0"))), Outcome::Invalid);
        row("line break after", feed(release(QStringLiteral("1.2.0\n"))), Outcome::Invalid);
        row("39 characters", feed(release(QStringLiteral("1.").leftJustified(39, QLatin1Char('0')))),
            Outcome::UpToDate);
        row("40 characters", feed(release(QStringLiteral("1.").leftJustified(40, QLatin1Char('0')))),
            Outcome::Invalid);
        row("size as a number", feed(with(newer, QStringLiteral("size"), 12)), Outcome::Available);
        row("empty change", feed(with(newer, QStringLiteral("change"), QJsonArray())), Outcome::Available);
        row("no change", feed(with(newer, QStringLiteral("change"), QJsonValue::Undefined)),
            Outcome::Invalid);
        row("change as text", feed(with(newer, QStringLiteral("change"), QStringLiteral("Faster"))),
            Outcome::Invalid);
        row("change with a number", feed(with(newer, QStringLiteral("change"), QJsonArray{1})),
            Outcome::Invalid);
        row("url as a number", feed(release(QStringLiteral("1.2.0"), 7)), Outcome::Invalid);
        const auto linkRow = [](const char *name, const QString &url, Outcome outcome) {
            QTest::newRow(name) << feed(release(QStringLiteral("1.2.0"), url)) << outcome;
        };
        const QString domain = UpdateSource::makerDomain();
        linkRow("link to the domain itself, upper case", QStringLiteral("https://") + domain.toUpper() + "/x",
                Outcome::Available);
        linkRow("link over http", QStringLiteral("http://dl.") + domain + "/x", Outcome::Invalid);
        linkRow("link with a user", QStringLiteral("https://user@dl.") + domain + "/x", Outcome::Invalid);
        linkRow("link with a password", QStringLiteral("https://u:p@dl.") + domain + "/x", Outcome::Invalid);
        linkRow("look-alike host", QStringLiteral("https://evil-") + domain + "/x", Outcome::Invalid);
        linkRow("domain as a subdomain", QStringLiteral("https://") + domain + ".evil.net/x",
                Outcome::Invalid);
        linkRow("relative link", QStringLiteral("/rushlet-1.2.0.tar.gz"), Outcome::Invalid);
        linkRow("link with a space", QStringLiteral("https://dl.") + domain + "/a b", Outcome::Invalid);
        row("at the size limit", feedOfSize(UpdateFeedRules::maxFeedBytes), Outcome::Available);
        row("a byte over the limit", feedOfSize(UpdateFeedRules::maxFeedBytes + 1), Outcome::Invalid);
    }

    void judgesAFeed()
    {
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        UpdateFeed read;
        read.version = QStringLiteral("stale");
        const bool valid = UpdateFeedRules::parseFeed(body, member, UpdateSource::makerDomain(), &read);
        QCOMPARE(valid, outcome != Outcome::Invalid);
        if (!valid) {
            QVERIFY(read.version.isEmpty() && read.url.isEmpty() && read.changes.isEmpty());
            return;
        }
        QCOMPARE(UpdateFeedRules::isNewerVersion(read.version, UpdateSource::currentVersion()),
                 outcome == Outcome::Available);
        const QJsonObject entry = QJsonDocument::fromJson(body).object().value(member).toObject();
        QCOMPARE(read.url.toString(), entry.value(QStringLiteral("url")).toString().toLower());
        QCOMPARE(read.size, entry.value(QStringLiteral("size")).toString());
        QCOMPARE(read.date, QStringLiteral("2024-05-01"));
        QCOMPARE(QJsonArray::fromStringList(read.changes), entry.value(QStringLiteral("change")).toArray());
    }

    void comparesVersionsByNumber()
    {
        const struct
        {
            const char *candidate;
            const char *current;
            bool newer;
        } cases[] = {{"1.10.0", "1.9.9", true},
                     {"1.9.9", "1.10.0", false},
                     {"1.1.0.0", "1.1.0", true},
                     {"1.01.0", "1.1.0", false},
                     {"1.1.99999999999999999999", "1.1.18446744073709551615", true},
                     {"2.0", "v1.0", false}};
        for (const auto &row : cases)
            QVERIFY2(UpdateFeedRules::isNewerVersion(QLatin1String(row.candidate),
                                                     QLatin1String(row.current)) == row.newer,
                     row.candidate);
    }

    void acceptsAFeedAddressForTesting()
    {
        for (const char *accepted : {"https://updates.example.org/f.json", "http://127.0.0.1:8080/f.json",
                                     "http://[::1]/f.json", "http://localhost/f.json"})
            QVERIFY2(UpdateFeedRules::isAcceptableFeedAddress(QUrl(QLatin1String(accepted))), accepted);
        for (const char *refused :
             {"http://updates.example.org/f.json", "file:///tmp/f.json", "https:///f.json"})
            QVERIFY2(!UpdateFeedRules::isAcceptableFeedAddress(QUrl(QLatin1String(refused))), refused);
    }
};

QTEST_GUILESS_MAIN(TestUpdateFeedRules)
#include "tst_UpdateFeedRules.moc"
