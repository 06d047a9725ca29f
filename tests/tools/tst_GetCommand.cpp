#include "tools/rushlet-get/GetCommand.h"

#include <QTest>

using namespace GetCommand;

class TestGetCommand : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("quiet");
        QTest::addColumn<qint64>("limitRate");
        QTest::addColumn<QString>("checksum");

        const QString url = QStringLiteral("http://127.0.0.1/a.bin");
        const QString md5 = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
        QTest::newRow("url only") << QStringList{url} << true << url << 8 << QString() << false << 0LL
                                  << QString();
        QTest::newRow("limit and checksum")
            << QStringList{"--limit-rate", "500K", "--checksum", md5.toUpper(), url} << true << url << 8
            << QString() << false << 512000LL << QStringLiteral("md5=") + md5;
        QTest::newRow("the last limit counts")
            << QStringList{"--limit-rate=1M", "--limit-rate", "2048", url} << true << url << 8 << QString()
            << false << 2048LL << QString();
        QTest::newRow("limit of zero") << QStringList{"--limit-rate", "0", url} << false << QString() << 0
                                       << QString() << false << 0LL << QString();
        QTest::newRow("limit with an unknown unit")
            << QStringList{"--limit-rate", "2X", url} << false << QString() << 0 << QString() << false << 0LL
            << QString();
        QTest::newRow("checksum of the wrong length")
            << QStringList{"--checksum", "sha-256=" + md5, url} << false << QString() << 0 << QString()
            << false << 0LL << QString();
        QTest::newRow("short options") << QStringList{"-c", "4", "-o", "x.bin", "-q", url} << true << url << 4
                                       << QString("x.bin") << true << 0LL << QString();
        QTest::newRow("long options") << QStringList{"--connections", "16", "--output", "y", "--quiet", url}
                                      << true << url << 16 << QString("y") << true << 0LL << QString();
        QTest::newRow("attached value")
            << QStringList{"-c16", url} << true << url << 16 << QString() << false << 0LL << QString();
        QTest::newRow("out of range is the engine's to clamp")
            << QStringList{"-c", "40", url} << true << url << 40 << QString() << false << 0LL << QString();
        QTest::newRow("no url") << QStringList{"-q"} << false << QString() << 0 << QString() << false << 0LL
                                << QString();
        QTest::newRow("two urls") << QStringList{url, url} << false << QString() << 0 << QString() << false
                                  << 0LL << QString();
        QTest::newRow("empty url") << QStringList{""} << false << QString() << 0 << QString() << false << 0LL
                                   << QString();
        QTest::newRow("connections not a number") << QStringList{"-c", "many", url} << false << QString() << 0
                                                  << QString() << false << 0LL << QString();
        QTest::newRow("connections missing")
            << QStringList{url, "-c"} << false << QString() << 0 << QString() << false << 0LL << QString();
        QTest::newRow("empty output") << QStringList{"-o", "", url} << false << QString() << 0 << QString()
                                      << false << 0LL << QString();
        QTest::newRow("unknown option") << QStringList{"--resume", url} << false << QString() << 0
                                        << QString() << false << 0LL << QString();
        QTest::newRow("quiet and progress contradict")
            << QStringList{"-q", "--progress", url} << false << QString() << 0 << QString() << false << 0LL
            << QString();
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        Arguments parsed;
        QString error;
        QCOMPARE(parseArguments(arguments, &parsed, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        if (!ok)
            return;
        QTEST(parsed.url.toString(), "url");
        QTEST(parsed.connections, "connections");
        QTEST(parsed.output, "output");
        QTEST(parsed.quiet, "quiet");
        QTEST(parsed.limitRate, "limitRate");
        QTEST(parsed.checksum, "checksum");
        QVERIFY(!parsed.help);
    }

    void help()
    {
        Arguments parsed;
        QString error;
        QVERIFY(parseArguments({QStringLiteral("--help")}, &parsed, &error));
        QVERIFY(parsed.help);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");

        QTest::newRow("last segment") << "http://h/dir/file.iso"
                                      << "file.iso";
        QTest::newRow("query ignored") << "http://h/get/file.zip?token=1/2#x"
                                       << "file.zip";
        QTest::newRow("decoded") << "http://h/My%20File%C3%A9.txt"
                                 << "My Fileé.txt";
        QTest::newRow("encoded slash stays in the name") << "http://h/a%2F..%2Fb.bin"
                                                         << "a_.._b.bin";
        QTest::newRow("backslash") << "http://h/a%5Cb"
                                   << "a_b";
        QTest::newRow("control characters dropped") << "http://h/a%0A%0Db%09c%7F"
                                                    << "abc";
        QTest::newRow("blanks trimmed") << "http://h/%20name%20"
                                        << "name";
        QTest::newRow("root") << "http://h/"
                              << "download";
        QTest::newRow("no path") << "http://h"
                                 << "download";
        QTest::newRow("folder") << "http://h/dir/"
                                << "download";
        QTest::newRow("dot dot") << "http://h/a/%2E%2E"
                                 << "download";
        QTest::newRow("dot") << "http://h/a/."
                             << "download";
    }

    void fileNames()
    {
        QFETCH(QString, url);
        QTEST(fileNameFromUrl(QUrl(url)), "name");
    }

    // Names too long for the sidecars to fit are cut on a character boundary, keeping the type.
    void longFileNames()
    {
        const QString ascii = fileNameFromUrl(QUrl(QStringLiteral("http://h/") + QString(300, 'a') + ".iso"));
        QCOMPARE(ascii.toUtf8().size(), 242);
        QVERIFY(ascii.endsWith(QStringLiteral("a.iso")));

        const QString wide = fileNameFromUrl(QUrl(QStringLiteral("http://h/") + QString(200, QChar(0x00e9))));
        QVERIFY(wide.toUtf8().size() <= 242);
        QCOMPARE(wide, QString(121, QChar(0x00e9)));

        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString surrogates = fileNameFromUrl(QUrl(QStringLiteral("http://h/") + emoji.repeated(100)));
        QCOMPARE(surrogates, emoji.repeated(60));
    }

    void destinations()
    {
        Arguments arguments;
        arguments.url = QUrl(QStringLiteral("http://h/f.bin"));
        QCOMPARE(destinationPath(arguments, QStringLiteral("/w")), QStringLiteral("/w/f.bin"));
        arguments.output = QStringLiteral("sub/../out.bin");
        QCOMPARE(destinationPath(arguments, QStringLiteral("/w")), QStringLiteral("/w/out.bin"));
        arguments.output = QStringLiteral("/abs/x");
        QCOMPARE(destinationPath(arguments, QStringLiteral("/w")), QStringLiteral("/abs/x"));
    }

    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << qint64(-1) << "Unknown";
        QTest::newRow("zero") << qint64(0) << "0 B";
        QTest::newRow("bytes") << qint64(1023) << "1023 B";
        QTest::newRow("kilo") << qint64(1024) << "1.0 KB";
        QTest::newRow("kilo and a half") << qint64(1536) << "1.5 KB";
        QTest::newRow("mega") << qint64(1048576) << "1.0 MB";
        QTest::newRow("giga") << qint64(5) * 1024 * 1024 * 1024 << "5.0 GB";
        QTest::newRow("beyond the units") << qint64(3) * 1024 * 1024 * 1024 * 1024 * 1024 << "3072.0 TB";
    }

    void sizes()
    {
        QFETCH(qint64, bytes);
        QTEST(formatSize(bytes), "text");
    }

    void progress_data()
    {
        QTest::addColumn<DownloadSnapshot>("snapshot");
        QTest::addColumn<QString>("line");

        DownloadSnapshot running;
        running.status = DownloadStatus::Downloading;
        running.total = 4000;
        running.received = 1000;
        running.speed = 23.5;
        running.segments = {{0, 1999, 1000}, {2000, 3999, 0}};
        QTest::newRow("downloading")
            << running << " 25%  1000 B of 3.9 KB  23 B/s  2m 8s left  2 connections  Downloading";

        DownloadSnapshot oneLeft = running;
        oneLeft.received = 3000;
        oneLeft.segments = {{0, 1999, 2000}, {2000, 3999, 1000}};
        oneLeft.speed = 1000;
        QTest::newRow("one connection left")
            << oneLeft << " 75%  2.9 KB of 3.9 KB  1000 B/s  1 sec left  1 connection  Downloading";

        DownloadSnapshot hours = running;
        hours.total = 10000000;
        hours.speed = 2000;
        QTest::newRow("hours") << hours
                               << "  0%  1000 B of 9.5 MB  2.0 KB/s  1h 23m left  2 connections  Downloading";

        DownloadSnapshot unknown;
        unknown.status = DownloadStatus::Downloading;
        unknown.received = 5000;
        unknown.speed = 100;
        unknown.segments = {{0, -2, 5000}};
        QTest::newRow("unknown size")
            << unknown << "  ?%  4.9 KB of Unknown  100 B/s  - left  1 connection  Downloading";

        DownloadSnapshot retrying = running;
        retrying.status = DownloadStatus::Retrying;
        retrying.speed = 0;
        retrying.error = QStringLiteral("Server returned HTTP 503. Retrying in 2 seconds (attempt 1 of 3).");
        QTest::newRow("retrying") << retrying << " 25%  1000 B of 3.9 KB  -  - left  0 connections  Retrying";

        DownloadSnapshot empty;
        empty.status = DownloadStatus::Completed;
        empty.total = 0;
        QTest::newRow("empty file completed")
            << empty << "100%  0 B of 0 B  -  - left  0 connections  Completed";
    }

    void progress()
    {
        QFETCH(DownloadSnapshot, snapshot);
        QTEST(formatProgress(snapshot), "line");
    }

    void messages_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QString>("message");

        QTest::newRow("retries exhausted")
            << "Could not connect: Connection refused. Automatic retries exhausted. Use Retry to try again."
            << qint64(0)
            << "Could not connect: Connection refused. Automatic retries exhausted. Run the same command "
               "again to retry.";
        QTest::newRow("retries exhausted with data kept")
            << "Transfer interrupted: Connection reset. Automatic retries exhausted. Use Retry to try again."
            << qint64(10)
            << "Transfer interrupted: Connection reset. Automatic retries exhausted. Run the same command "
               "again to resume.";
        QTest::newRow("file changed")
            << "The remote file changed during download. Retry to restart safely." << qint64(10)
            << "The remote file changed during download. Run the same command again to restart safely.";
        QTest::newRow("range refused")
            << "Server changed the file or did not honor the requested range. Retry to recheck the file."
            << qint64(10)
            << "Server changed the file or did not honor the requested range. Run the same command again "
               "to recheck the file.";
        QTest::newRow("checksum mismatch") << "The downloaded file does not match its MD5 checksum (expected "
                                              "00, got 11). Retry to download it "
                                              "again."
                                           << qint64(0)
                                           << "The downloaded file does not match its MD5 checksum (expected "
                                              "00, got 11). Run the same command "
                                              "again to download it again.";
        QTest::newRow("data kept") << "Disk write failed: No space left on device" << qint64(10)
                                   << "Disk write failed: No space left on device. Run the same command "
                                      "again to resume.";
        QTest::newRow("nothing to resume")
            << "The destination file already exists. Choose a different file name." << qint64(0)
            << "The destination file already exists. Choose a different file name.";
    }

    // The window's advice names its Retry command, which a shell does not have.
    void messages()
    {
        QFETCH(QString, error);
        QFETCH(qint64, received);
        DownloadSnapshot failed;
        failed.status = DownloadStatus::Error;
        failed.error = error;
        failed.received = received;
        failed.resumable = true;
        QTEST(commandLineMessage(failed), "message");
        QVERIFY(!commandLineMessage(failed).contains(QStringLiteral("Retry")));
    }

    void signalExitCodes()
    {
        QCOMPARE(exitCodeForSignal(2), 130);
        QCOMPARE(exitCodeForSignal(15), 143);
    }
};

QTEST_GUILESS_MAIN(TestGetCommand)
#include "tst_GetCommand.moc"
