#include "engine/AddressChangeRules.h"
#include "engine/ChecksumRules.h"
#include "engine/SpeedLimitRules.h"
#include "engine/TokenBucket.h"

#include <QTest>

using ChecksumRules::Algorithm;
using Verdict = AddressChangeRules::Verdict;
using ProbeVerdict = DownloadRules::ProbeResult::Verdict;

Q_DECLARE_METATYPE(ChecksumRules::Algorithm)
Q_DECLARE_METATYPE(AddressChangeRules::Verdict)

namespace {

constexpr qint64 kib = 1024;
constexpr qint64 mib = 1024 * kib;
constexpr qint64 second = 1000000000;

QString hex(int digits, char digit = 'a')
{
    return QString(digits, QLatin1Char(digit));
}

// A checkpoint of 1000 bytes in two ranges, half of each received, guarded by an ETag or a date.
ResumeCheckpoint::Contents checkpoint(const QByteArray &etag, const QByteArray &lastModified)
{
    ResumeCheckpoint::Contents contents;
    contents.total = 1000;
    contents.etag = etag;
    contents.lastModified = lastModified;
    contents.segments = {{0, 499, 250}, {500, 999, 250}};
    return contents;
}

DownloadRules::ProbeResult probed(qint64 total, bool ranges, const QByteArray &etag,
                                  const QByteArray &lastModified)
{
    DownloadRules::ProbeResult result;
    result.verdict = ProbeVerdict::Accepted;
    result.total = total;
    result.rangeSupported = ranges;
    result.etag = etag;
    result.versionTag = etag;
    result.lastModified = lastModified;
    return result;
}

} // namespace

class TestTransferRules : public QObject
{
    Q_OBJECT

private slots:
    void rates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("rate"); // 0 when refused
        QTest::addColumn<QString>("problem");

        const QString zero = QStringLiteral("A speed limit must be greater than zero.");
        const QString form =
            QStringLiteral("Enter a speed limit in bytes per second, such as 500K, 2M or 1G.");
        const QString unit = QStringLiteral("Unknown unit \"%1\" in the speed limit. Use K, M, G or T, or no "
                                            "unit for bytes per second.");
        const QString large = QStringLiteral("A speed limit can be at most %1 bytes per second.");
        // curl's own forms
        QTest::newRow("bytes") << QStringLiteral("1000") << 1000LL << QString();
        QTest::newRow("kilo") << QStringLiteral("500K") << 500 * kib << QString();
        QTest::newRow("small kilo") << QStringLiteral("500k") << 500 * kib << QString();
        QTest::newRow("mega") << QStringLiteral("2M") << 2 * mib << QString();
        QTest::newRow("giga") << QStringLiteral("1G") << 1024 * mib << QString();
        QTest::newRow("tera") << QStringLiteral("1t") << 1024 * 1024 * mib << QString();
        QTest::newRow("explicit bytes") << QStringLiteral("64B") << 64LL << QString();
        QTest::newRow("largest") << QStringLiteral("9223372036854775807") << 9223372036854775807LL
                                 << QString();
        QTest::newRow("leading zeros") << QStringLiteral("0000000000000000000001K") << kib << QString();
        // what the window shows, typed back
        QTest::newRow("fraction") << QStringLiteral("1.5M") << 3 * mib / 2 << QString();
        QTest::newRow("as shown") << QStringLiteral(" 512 KB/s ") << 512 * kib << QString();
        QTest::newRow("binary unit") << QStringLiteral("2MiB") << 2 * mib << QString();
        QTest::newRow("fraction of a byte") << QStringLiteral("2.9") << 2LL << QString();
        // refused
        QTest::newRow("zero") << QStringLiteral("0") << 0LL << zero;
        QTest::newRow("zero with unit") << QStringLiteral("0M") << 0LL << zero;
        QTest::newRow("under a byte") << QStringLiteral("0.4") << 0LL << zero;
        QTest::newRow("negative") << QStringLiteral("-5M") << 0LL << zero;
        QTest::newRow("empty") << QString() << 0LL << form;
        QTest::newRow("word") << QStringLiteral("fast") << 0LL << form;
        QTest::newRow("two numbers") << QStringLiteral("1 2") << 0LL << form;
        QTest::newRow("exponent") << QStringLiteral("1e3") << 0LL << form;
        QTest::newRow("unknown unit") << QStringLiteral("2X") << 0LL << unit.arg(QStringLiteral("X"));
        QTest::newRow("peta") << QStringLiteral("1P") << 0LL << unit.arg(QStringLiteral("P"));
        QTest::newRow("bits") << QStringLiteral("5Mbit") << 0LL << unit.arg(QStringLiteral("Mbit"));
        QTest::newRow("beyond 2^63") << QStringLiteral("9223372036854775808") << 0LL
                                     << large.arg(QStringLiteral("9223372036854775807"));
        QTest::newRow("beyond by its unit")
            << QStringLiteral("8388608T") << 0LL << large.arg(QStringLiteral("9223372036854775807"));
    }

    void rates()
    {
        QFETCH(QString, text);
        QFETCH(qint64, rate);
        QFETCH(QString, problem);
        qint64 parsed = -1;
        QString reason;
        QStringList arguments;
        const bool ok = SpeedLimitRules::parseRate(text, &parsed, &reason, &arguments);
        QCOMPARE(ok, problem.isEmpty());
        if (ok) {
            QCOMPARE(parsed, rate);
            // What the program writes for a rate reads back as the same rate.
            QVERIFY(SpeedLimitRules::parseRate(SpeedLimitRules::rateText(rate), &parsed, &reason));
            QCOMPARE(parsed, rate);
        } else {
            QCOMPARE(parsed, -1LL);
            for (const QString &argument : std::as_const(arguments))
                reason = reason.arg(argument);
            QCOMPARE(reason, problem);
        }
    }

    void checksums_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Algorithm>("algorithm");
        QTest::addColumn<QString>("kept"); // empty when refused
        QTest::addColumn<QString>("problem");

        const QString notHex =
            QStringLiteral("A checksum is written in hexadecimal digits: 0 to 9 and a to f.");
        const QString unknown =
            QStringLiteral("Unknown checksum algorithm \"%1\". Use sha-256, sha-512, sha-1 or md5.");
        const QString length = QStringLiteral("%1 checksums have %2 hexadecimal digits; this one has %3.");
        const QString bareLength = QStringLiteral(
            "A checksum of %1 hexadecimal digits fits no supported algorithm: MD5 has 32, SHA-1 "
            "40, SHA-256 64 and SHA-512 128.");
        QTest::newRow("sha-256") << QStringLiteral("sha-256=") + hex(64) << Algorithm::Sha256
                                 << QStringLiteral("sha-256=") + hex(64) << QString();
        QTest::newRow("sha-512 upper case")
            << QStringLiteral(" SHA-512=") + hex(128, 'F') + QLatin1Char(' ') << Algorithm::Sha512
            << QStringLiteral("sha-512=") + hex(128, 'f') << QString();
        QTest::newRow("without hyphen") << QStringLiteral("sha1 = ") + hex(40, '0') << Algorithm::Sha1
                                        << QStringLiteral("sha-1=") + hex(40, '0') << QString();
        QTest::newRow("md5") << QStringLiteral("MD5=") + hex(32, '9') << Algorithm::Md5
                             << QStringLiteral("md5=") + hex(32, '9') << QString();
        QTest::newRow("bare sha-256")
            << hex(64, 'B') << Algorithm::Sha256 << QStringLiteral("sha-256=") + hex(64, 'b') << QString();
        QTest::newRow("bare sha-512")
            << hex(128) << Algorithm::Sha512 << QStringLiteral("sha-512=") + hex(128) << QString();
        QTest::newRow("bare sha-1") << hex(40) << Algorithm::Sha1 << QStringLiteral("sha-1=") + hex(40)
                                    << QString();
        QTest::newRow("bare md5") << hex(32) << Algorithm::Md5 << QStringLiteral("md5=") + hex(32)
                                  << QString();
        QTest::newRow("one digit short")
            << QStringLiteral("sha-256=") + hex(63) << Algorithm::Sha256 << QString()
            << length.arg(QStringLiteral("SHA-256"), QStringLiteral("64"), QStringLiteral("63"));
        QTest::newRow("md5 digits named sha-256")
            << QStringLiteral("sha-256=") + hex(32) << Algorithm::Sha256 << QString()
            << length.arg(QStringLiteral("SHA-256"), QStringLiteral("64"), QStringLiteral("32"));
        QTest::newRow("bare of no length")
            << hex(48) << Algorithm::Sha256 << QString() << bareLength.arg(QStringLiteral("48"));
        QTest::newRow("not hex") << QStringLiteral("sha-256=") + hex(63) + QLatin1Char('g')
                                 << Algorithm::Sha256 << QString() << notHex;
        QTest::newRow("inner blank") << hex(32) + QLatin1Char(' ') + hex(32) << Algorithm::Sha256 << QString()
                                     << notHex;
        QTest::newRow("no digits") << QStringLiteral("sha-256=") << Algorithm::Sha256 << QString() << notHex;
        QTest::newRow("unknown algorithm") << QStringLiteral("sha-384=") + hex(96) << Algorithm::Sha256
                                           << QString() << unknown.arg(QStringLiteral("sha-384"));
        QTest::newRow("no algorithm")
            << QStringLiteral("=") + hex(64) << Algorithm::Sha256 << QString() << unknown.arg(QString());
        QTest::newRow("empty") << QStringLiteral("  ") << Algorithm::Sha256 << QString()
                               << QStringLiteral("Enter a checksum.");
    }

    void checksums()
    {
        QFETCH(QString, text);
        QFETCH(Algorithm, algorithm);
        QFETCH(QString, kept);
        QFETCH(QString, problem);
        ChecksumRules::Checksum parsed;
        QString reason;
        QStringList arguments;
        const bool ok = ChecksumRules::parse(text, &parsed, &reason, &arguments);
        QCOMPARE(ok, problem.isEmpty());
        if (ok) {
            QCOMPARE(parsed.algorithm, algorithm);
            QCOMPARE(ChecksumRules::toText(parsed), kept);
            // The kept form is read back as itself.
            ChecksumRules::Checksum again;
            QVERIFY(ChecksumRules::parse(kept, &again, &reason));
            QCOMPARE(again, parsed);
        } else {
            for (const QString &argument : std::as_const(arguments))
                reason = reason.arg(argument);
            QCOMPARE(reason, problem);
        }
    }

    void sharesOfTheOverallLimit_data()
    {
        QTest::addColumn<qint64>("overall");
        QTest::addColumn<QList<qint64>>("own");
        QTest::addColumn<QList<qint64>>("shares");
        QTest::newRow("no overall limit") << 0LL << QList<qint64>{0, 300} << QList<qint64>{0, 300};
        QTest::newRow("equal parts add up") << 10LL << QList<qint64>{0, 0, 0} << QList<qint64>{3, 3, 4};
        QTest::newRow("a low own limit leaves the rest")
            << 1000LL << QList<qint64>{0, 100, 0} << QList<qint64>{450, 100, 450};
        QTest::newRow("own limits above the part")
            << 1000LL << QList<qint64>{800, 900} << QList<qint64>{500, 500};
        QTest::newRow("all below") << 1000LL << QList<qint64>{100, 200} << QList<qint64>{100, 200};
        QTest::newRow("more downloads than bytes") << 2LL << QList<qint64>{0, 0, 0} << QList<qint64>{1, 1, 1};
    }

    void sharesOfTheOverallLimit()
    {
        QFETCH(qint64, overall);
        QFETCH(QList<qint64>, own);
        QFETCH(QList<qint64>, shares);
        QCOMPARE(SpeedLimitRules::shares(overall, own), shares);
    }

    // Over a long run the reads may take the rate's worth and at most one burst more, however the
    // wake-ups fall; and a bucket that starts pacing has something to read at once.
    void tokenBucketKeepsToTheRate()
    {
        for (const qint64 rate : {qint64(700), 64 * kib, 5 * mib, 20 * mib}) {
            TokenBucket bucket;
            bucket.setRate(rate, 0);
            QVERIFY(bucket.available() > 0);
            qint64 taken = 0;
            qint64 now = 0;
            for (int step = 0; now < 10 * second; ++step) {
                // Irregular wake-ups, between 1 and 97 ms apart, some late.
                now += (1 + (step * 37) % 97) * 1000000;
                bucket.refill(now);
                const qint64 chunk = bucket.available();
                bucket.take(chunk);
                taken += chunk;
                QVERIFY(bucket.nanosecondsUntilQuantum() <= second);
            }
            const double expected = double(rate) * double(now) / double(second);
            QVERIFY2(taken <= expected + double(bucket.burst()) && taken >= expected * 0.97,
                     qPrintable(QStringLiteral("rate %1: took %2 of %3").arg(rate).arg(taken).arg(expected)));
        }
    }

    void newAddressAgainstTheCheckpoint_data()
    {
        QTest::addColumn<bool>("haveCheckpoint");
        QTest::addColumn<QByteArray>("storedEtag");
        QTest::addColumn<QByteArray>("storedDate");
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<bool>("ranges");
        QTest::addColumn<QByteArray>("etag");
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<QString>("reason");

        const QByteArray date = "Tue, 01 Dec 2026 10:00:00 GMT";
        const QByteArray otherDate = "Wed, 02 Dec 2026 10:00:00 GMT";
        QTest::newRow("same ETag and size")
            << true << QByteArray("\"v1\"") << QByteArray() << 206 << 1000LL << true << QByteArray("\"v1\"")
            << QByteArray() << Verdict::Continue << QString();
        QTest::newRow("same date and size") << true << QByteArray() << date << 206 << 1000LL << true
                                            << QByteArray() << date << Verdict::Continue << QString();
        QTest::newRow("nothing on disk") << false << QByteArray() << QByteArray() << 200 << 5LL << false
                                         << QByteArray() << QByteArray() << Verdict::Continue << QString();
        QTest::newRow("another size")
            << true << QByteArray("\"v1\"") << QByteArray() << 206 << 999LL << true << QByteArray("\"v1\"")
            << QByteArray() << Verdict::Refused
            << QStringLiteral(
                   "The file at the new address has another size: 999 bytes, where the download has "
                   "1000. The address was not changed.");
        QTest::newRow("another ETag")
            << true << QByteArray("\"v1\"") << date << 206 << 1000LL << true << QByteArray("\"v2\"") << date
            << Verdict::Refused
            << QStringLiteral("The file at the new address is another version: its ETag "
                              "differs from the one the download began with. The "
                              "address was not changed.");
        QTest::newRow("another date")
            << true << QByteArray() << date << 206 << 1000LL << true << QByteArray() << otherDate
            << Verdict::Refused
            << QStringLiteral("The file at the new address is another version: it was "
                              "last modified at another time than the one the download "
                              "began with. The address was not changed.");
        QTest::newRow("no validators")
            << true << QByteArray() << QByteArray() << 206 << 1000LL << true << QByteArray() << QByteArray()
            << Verdict::RestartFromZero
            << QStringLiteral("Nothing shows that the new address serves the same file: "
                              "the two addresses share no ETag or Last-Modified date to "
                              "compare.");
        // The engine would not take the stored ETag's word for a new date: nothing in common.
        QTest::newRow("ETag kept, only a date now")
            << true << QByteArray("\"v1\"") << QByteArray() << 206 << 1000LL << true << QByteArray() << date
            << Verdict::RestartFromZero
            << QStringLiteral(
                   "Nothing shows that the new address serves the same file: the two addresses share no "
                   "ETag or Last-Modified date to compare.");
        QTest::newRow("no ranges") << true << QByteArray("\"v1\"") << QByteArray() << 200 << 1000LL << false
                                   << QByteArray("\"v1\"") << QByteArray() << Verdict::RestartFromZero
                                   << QStringLiteral(
                                          "The new address does not serve parts of the file, so the "
                                          "download cannot go on where it stopped.");
        QTest::newRow("refused") << true << QByteArray("\"v1\"") << QByteArray() << 403 << -1LL << false
                                 << QByteArray() << QByteArray() << Verdict::Refused
                                 << QStringLiteral(
                                        "The new address returned HTTP 403. The address was not changed.");
    }

    void newAddressAgainstTheCheckpoint()
    {
        QFETCH(bool, haveCheckpoint);
        QFETCH(QByteArray, storedEtag);
        QFETCH(QByteArray, storedDate);
        QFETCH(int, status);
        QFETCH(qint64, total);
        QFETCH(bool, ranges);
        QFETCH(QByteArray, etag);
        QFETCH(QByteArray, date);
        QFETCH(Verdict, verdict);
        QFETCH(QString, reason);
        const ResumeCheckpoint::Contents stored = checkpoint(storedEtag, storedDate);
        DownloadRules::ProbeResult answer = probed(total, ranges, etag, date);
        if (status >= 400)
            answer.verdict = ProbeVerdict::Refused;
        const AddressChangeRules::Outcome outcome =
            AddressChangeRules::judge(haveCheckpoint ? &stored : nullptr, 1000, status, answer);
        QCOMPARE(outcome.verdict, verdict);
        QString filled = outcome.reason;
        for (const QString &argument : outcome.arguments)
            filled = filled.arg(argument);
        QCOMPARE(filled, reason);
    }
};

QTEST_GUILESS_MAIN(TestTransferRules)
#include "tst_TransferRules.moc"
