#include "bridge/protocol/BridgeProtocol.h"
#include "bridge/protocol/BrowserFileNames.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace BrowserFileNames;

namespace {

bool nothingListed(const QString &)
{
    return false;
}

QJsonObject download(const QJsonValue &url, const QJsonValue &id)
{
    return {{QStringLiteral("type"), QStringLiteral("download")},
            {QStringLiteral("url"), url},
            {QStringLiteral("id"), id}};
}

// A download request with one more field of the browser's session; a key "cookie.K" puts the
// value into key K of a single, otherwise well-formed cookie.
QJsonObject with(const QString &key, const QJsonValue &value)
{
    QJsonObject request = download(QStringLiteral("https://example.com/a.zip"), QStringLiteral("abc-123"));
    QJsonObject cookie = QJsonDocument::fromJson(R"({"name": "sid", "value": "abc", "domain": ".example.com",
        "path": "/", "hostonly": false, "secure": true, "expires": 1893456000.5})")
                             .object();
    cookie.insert(key.mid(7), value);
    const bool inCookie = key.startsWith(QLatin1String("cookie."));
    request.insert(inCookie ? QStringLiteral("cookies") : key, inCookie ? QJsonArray{cookie} : value);
    return request;
}

} // namespace

class TestBridgeRules : public QObject
{
    Q_OBJECT

private slots:
    void serverNameIsPerDataFolder()
    {
        const QString name =
            BridgeProtocol::bridgeServerNameFor(QStringLiteral("/home/a/.local/share/Rushlet/Rushlet"));
        QVERIFY(QRegularExpression(QStringLiteral("^Rushlet-[0-9a-f]{24}$")).match(name).hasMatch());
        QCOMPARE(BridgeProtocol::bridgeServerNameFor(QStringLiteral("/home/a/.local/share/Rushlet/Rushlet")),
                 name);
        QVERIFY(BridgeProtocol::bridgeServerNameFor(QStringLiteral("/home/b/.local/share/Rushlet/Rushlet")) !=
                name);
    }

    // The bytes a second start sends are fixed: an instance of another version must understand them.
    void showRequestBytes() { QCOMPARE(BridgeProtocol::showRequest(), QByteArray("{\"type\":\"show\"}\n")); }

    void downloadRequestValidation_data()
    {
        QTest::addColumn<QJsonObject>("request");
        QTest::addColumn<bool>("valid");

        const QString url = QStringLiteral("https://example.com/files/a.zip");
        const QString id = QStringLiteral("abc-123");
        QTest::newRow("https") << download(url, id) << true;
        QTest::newRow("http") << download(QStringLiteral("http://example.com/a"), id) << true;
        QTest::newRow("scheme in capitals") << download(QStringLiteral("HTTPS://example.com/a"), id) << true;
        QTest::newRow("user and password")
            << download(QStringLiteral("https://u:p@example.com/a"), id) << false;
        QTest::newRow("user only") << download(QStringLiteral("https://u@example.com/a"), id) << false;
        QTest::newRow("empty user information")
            << download(QStringLiteral("https://:@example.com/a"), id) << false;
        QTest::newRow("ftp") << download(QStringLiteral("ftp://example.com/a"), id) << false;
        QTest::newRow("empty host") << download(QStringLiteral("https:///a"), id) << false;
        QTest::newRow("no scheme") << download(QStringLiteral("example.com/a"), id) << false;
        QTest::newRow("invalid in strict mode")
            << download(QStringLiteral("https://example.com/a b"), id) << false;
        QTest::newRow("url not a string") << download(42, id) << false;
        QTest::newRow("url missing") << QJsonObject{{QStringLiteral("type"), QStringLiteral("download")},
                                                    {QStringLiteral("id"), id}}
                                     << false;

        const QString base = QStringLiteral("https://example.com/");
        QTest::newRow("url of 16000 characters")
            << download(QString(base + QString(16000 - base.size(), QLatin1Char('a'))), id) << true;
        QTest::newRow("url of 16001 characters")
            << download(QString(base + QString(16001 - base.size(), QLatin1Char('a'))), id) << false;

        QTest::newRow("id empty") << download(url, QString()) << false;
        QTest::newRow("id of 100") << download(url, QString(100, QLatin1Char('x'))) << true;
        QTest::newRow("id of 101") << download(url, QString(101, QLatin1Char('x'))) << false;
        QTest::newRow("id with underscore") << download(url, QStringLiteral("a_b")) << false;
        QTest::newRow("id with dot") << download(url, QStringLiteral("a.b")) << false;
        QTest::newRow("id with line feed") << download(url, QStringLiteral("ab\n")) << false;
        QTest::newRow("id a number") << download(url, 12) << false;

        QJsonObject typeNumber = download(url, id);
        typeNumber.insert(QStringLiteral("type"), 1);
        QTest::newRow("type a number") << typeNumber << false;
        QJsonObject typePing = download(url, id);
        typePing.insert(QStringLiteral("type"), QStringLiteral("ping"));
        QTest::newRow("type ping") << typePing << false;
        QJsonObject typeArray = download(url, id);
        typeArray.insert(QStringLiteral("type"), QJsonArray{QStringLiteral("download")});
        QTest::newRow("type an array") << typeArray << false;

        // The browser's session: optional, and refused whole when any of it is malformed, so that
        // nothing unchecked reaches a request header.
        const auto row = [](const char *name, const char *key, const QJsonValue &value, bool valid) {
            QTest::newRow(name) << with(QString::fromLatin1(key), value) << valid;
        };
        row("final URL", "finalurl", QStringLiteral("https://cdn.example.com/a?sig=1"), true);
        row("final URL by ftp", "finalurl", QStringLiteral("ftp://example.com/a"), false);
        row("referrer", "referrer", QStringLiteral("https://example.com/page#top"), true);
        row("referrer of another scheme", "referrer", QStringLiteral("javascript:alert(1)"), false);
        row("user agent of 1024", "useragent", QString(1024, QLatin1Char('a')), true);
        row("user agent of 10000", "useragent", QString(10000, QLatin1Char('a')), false);
        row("user agent with CR LF", "useragent", QStringLiteral("a\r\nX-Injected: 1"), false);
        row("user agent with NUL", "useragent", QStringLiteral("a\0b"), false);
        row("type", "mime", QStringLiteral("application/zip"), true);
        row("type with parameters", "mime", QStringLiteral("text/html; charset=utf-8"), false);
        row("size beyond 4 GiB", "size", 5000000000.0, true);
        row("size negative", "size", -1, false);
        row("size a fraction", "size", 1.5, false);
        row("a cookie", "cookie.value", QString(4093, QLatin1Char('v')), true);
        row("a cookie of 4097 bytes", "cookie.value", QString(4094, QLatin1Char('v')), false);
        row("a cookie of 60000 bytes", "cookie.value", QString(60000, QLatin1Char('v')), false);
        row("cookie value with CR LF", "cookie.value", QStringLiteral("a\r\nb"), false);
        row("cookie value with a separator", "cookie.value", QStringLiteral("a; admin=1"), false);
        row("cookie name with =", "cookie.name", QStringLiteral("a=b"), false);
        row("cookie path with a line feed", "cookie.path", QStringLiteral("/a\nb"), false);

        // A question about a download names it as a download request does.
        const QJsonObject status{{QStringLiteral("type"), QStringLiteral("status")},
                                 {QStringLiteral("id"), id}};
        QTest::newRow("status") << status << true;
        QTest::newRow("status with an underscore in its id")
            << QJsonObject{{QStringLiteral("type"), QStringLiteral("status")},
                           {QStringLiteral("id"), QStringLiteral("a_b")}}
            << false;
    }

    void downloadRequestValidation()
    {
        QFETCH(QJsonObject, request);
        QFETCH(bool, valid);
        const bool status = request.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("status"));
        QCOMPARE(BridgeProtocol::isValidDownloadRequest(request), valid && !status);
        QCOMPARE(BridgeProtocol::isValidStatusRequest(request), valid && status);
    }

    void sanitizing_data()
    {
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("expected");

        QTest::newRow("parent folders with backslashes")
            << QStringLiteral("..\\..\\evil.exe") << QStringLiteral("evil.exe");
        QTest::newRow("unix path") << QStringLiteral("/etc/passwd") << QStringLiteral("passwd");
        QTest::newRow("mixed separators") << QStringLiteral("a/b\\c.txt") << QStringLiteral("c.txt");
        QTest::newRow("reserved characters") << QStringLiteral("a<b>.txt") << QStringLiteral("a_b_.txt");
        QTest::newRow("more reserved") << QStringLiteral("x:y\"z|?*.bin") << QStringLiteral("x_y_z___.bin");
        QTest::newRow("control characters")
            << QStringLiteral("a\tb\nc\x1f.txt") << QStringLiteral("a_b_c_.txt");
        QTest::newRow("device name") << QStringLiteral("CON.txt") << QStringLiteral("_CON.txt");
        QTest::newRow("device name lower case") << QStringLiteral("com0") << QStringLiteral("_com0");
        QTest::newRow("lpt9 with extension")
            << QStringLiteral("lpt9.tar.gz") << QStringLiteral("_lpt9.tar.gz");
        QTest::newRow("device prefix only") << QStringLiteral("CONSOLE.txt") << QStringLiteral("CONSOLE.txt");
        QTest::newRow("trailing dots and spaces") << QStringLiteral("name. . .") << QStringLiteral("name");
        QTest::newRow("only dots") << QStringLiteral("...") << QStringLiteral("download");
        QTest::newRow("empty") << QString() << QStringLiteral("download");
        QTest::newRow("folder only") << QStringLiteral("folder/") << QStringLiteral("download");
        QTest::newRow("ends as a device name after trimming")
            << QStringLiteral("nul. ") << QStringLiteral("_nul");
        QTest::newRow("unicode kept") << QStringLiteral("résumé ✓.pdf") << QStringLiteral("résumé ✓.pdf");
        QTest::newRow("cut to 180") << QString(200, QLatin1Char('a')) << QString(180, QLatin1Char('a'));
        QTest::newRow("trailing dots after the cut")
            << QString(178, QLatin1Char('a')) + QStringLiteral("..b") << QString(178, QLatin1Char('a'));
        // Found by fuzzing: the mark before a device name took a name cut to 180 characters to 181.
        QTest::newRow("device name cut to 180") << QStringLiteral("CON.") + QString(200, QLatin1Char('a'))
                                                << QStringLiteral("_CON.") + QString(175, QLatin1Char('a'));
        // U+1F600 takes two UTF-16 units; cutting between them would leave half a character.
        QTest::newRow("surrogate pair at the cut")
            << QString(179, QLatin1Char('a')) + QString::fromUcs4(U"\U0001F600") + QStringLiteral("b")
            << QString(179, QLatin1Char('a'));
        // Fewer than 180 characters, but three or four bytes each in the file system's encoding.
        const QChar wide(0x6587);
        QTest::newRow("cut to fit in bytes") << QString(120, wide) << QString(78, wide);
        QTest::newRow("four-byte characters cut to fit") << QString::fromUcs4(U"\U0001F600").repeated(100)
                                                         << QString::fromUcs4(U"\U0001F600").repeated(58);
        QTest::newRow("device name prefix still fits")
            << QStringLiteral("CON.") + QString(77, wide) << QStringLiteral("_CON.") + QString(76, wide);
    }

    void sanitizing()
    {
        QFETCH(QString, suggested);
        QFETCH(QString, expected);
        const QString name = sanitizeFileName(suggested);
        QCOMPARE(name, expected);
        // With the widest counter, the partial file can still be created.
        QVERIFY(QFile::encodeName(candidateName(name, 9999) + QStringLiteral(".rushlet.part")).size() <= 255);
    }

    void candidates_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first") << QStringLiteral("file.zip") << 0 << QStringLiteral("file.zip");
        QTest::newRow("numbered") << QStringLiteral("file.zip") << 1 << QStringLiteral("file (1).zip");
        QTest::newRow("last extension only")
            << QStringLiteral("report.tar.gz") << 1 << QStringLiteral("report.tar (1).gz");
        QTest::newRow("no extension") << QStringLiteral("README") << 12 << QStringLiteral("README (12)");
        QTest::newRow("hidden file") << QStringLiteral(".profile") << 1 << QStringLiteral(" (1).profile");
        QTest::newRow("beyond 180") << QString(180, QLatin1Char('a')) << 9999
                                    << QString(180, QLatin1Char('a')) + QStringLiteral(" (9999)");
    }

    void candidates()
    {
        QFETCH(QString, name);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(candidateName(name, n), expected);
    }

    void freeDestination_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");

        const QString name = QStringLiteral("file.zip");
        QTest::newRow("nothing there") << QStringList() << QStringList() << name << name;
        QTest::newRow("file") << QStringList{name} << QStringList() << name << QStringLiteral("file (1).zip");
        QTest::newRow("folder") << QStringList{QStringLiteral("file.zip/")} << QStringList() << name
                                << QStringLiteral("file (1).zip");
        for (const char *suffix : {".rushlet.part", ".rushlet.json", ".brio.part", ".brio.json"}) {
            QTest::addRow("only %s", suffix) << QStringList{name + QLatin1String(suffix)} << QStringList()
                                             << name << QStringLiteral("file (1).zip");
            QTest::addRow("listed download named like its %s", suffix)
                << QStringList() << QStringList{name + QLatin1String(suffix)} << name
                << QStringLiteral("file (1).zip");
        }
        QTest::newRow("first two taken") << QStringList{name, QStringLiteral("file (1).zip.rushlet.json")}
                                         << QStringList() << name << QStringLiteral("file (2).zip");
        QTest::newRow("listed") << QStringList() << QStringList{name} << name
                                << QStringLiteral("file (1).zip");
        QTest::newRow("partial file of a listed download")
            << QStringList() << QStringList{name} << QStringLiteral("file.zip.rushlet.part")
            << QStringLiteral("file.zip.rushlet (1).part");
        QTest::newRow("legacy checkpoint of a listed download")
            << QStringList() << QStringList{name} << QStringLiteral("file.zip.brio.json")
            << QStringLiteral("file.zip.brio (1).json");
        QTest::newRow("other case on disk is another file")
            << QStringList{QStringLiteral("File.zip")} << QStringList() << name << name;
    }

    void freeDestination()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, listed);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QDir dir(folder.path());
        for (const QString &file : existing)
            QVERIFY(file.endsWith(QLatin1Char('/')) ? dir.mkpath(file)
                                                    : TestEnvironment::writeFile(dir.filePath(file), {}));
        QStringList listedPaths;
        for (const QString &file : listed)
            listedPaths.append(dir.filePath(file));
        QCOMPARE(
            chooseFreeDestination(folder.path(), name,
                                  [&listedPaths](const QString &path) { return listedPaths.contains(path); }),
            dir.filePath(expected));
    }

    void danglingLinkCountsAsTaken()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::link(folder.filePath(QStringLiteral("nowhere")),
                            folder.filePath(QStringLiteral("file.zip"))));
        QCOMPARE(chooseFreeDestination(folder.path(), QStringLiteral("file.zip"), nothingListed),
                 folder.filePath(QStringLiteral("file (1).zip")));
    }

    void allCandidatesTaken()
    {
        QTemporaryDir folder;
        QSet<QString> listed;
        for (int n = 0; n < maxCandidates; ++n)
            listed.insert(folder.filePath(candidateName(QStringLiteral("file.zip"), n)));
        const auto isListed = [&listed](const QString &path) { return listed.contains(path); };
        QVERIFY(chooseFreeDestination(folder.path(), QStringLiteral("file.zip"), isListed).isEmpty());
        listed.remove(folder.filePath(QStringLiteral("file (9999).zip")));
        QCOMPARE(chooseFreeDestination(folder.path(), QStringLiteral("file.zip"), isListed),
                 folder.filePath(QStringLiteral("file (9999).zip")));
    }
};

QTEST_GUILESS_MAIN(TestBridgeRules)
#include "tst_BridgeRules.moc"
