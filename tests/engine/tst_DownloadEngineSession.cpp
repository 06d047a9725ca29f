#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <QDateTime>
#include <QFile>
#include <QTest>

using namespace EngineTestSupport;
using Fault = TestHttpServer::Fault;

namespace {

const QString webPage = QStringLiteral(
    "The server sent a web page instead of the file. It may need you to sign in in the browser.");
const QString otherSize = QStringLiteral(
    "The server sent a file of another size than the browser saw. Send the download again from the browser.");
const QString renewSignIn =
    QStringLiteral("The site refused the download. Send it again from the browser to renew its sign-in.");

BrowserCookie cookie(const QByteArray &name, const QString &domain)
{
    BrowserCookie made;
    made.name = name;
    made.value = "v-" + name;
    made.domain = domain;
    return made;
}

// What the browser tells of a download from this test's server.
RequestContext browserContext()
{
    RequestContext context;
    context.userAgent = "Mozilla/5.0 (X11; Linux x86_64) Browser/1.0";
    context.mimeType = QStringLiteral("application/zip");
    return context;
}

} // namespace

// A download the browser handed over, fetched with the browser's session and checked against
// what the browser saw.
class TestDownloadEngineSession : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<TestHttpServer> server;
    QString destination;

private slots:
    void init()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        server = std::make_unique<TestHttpServer>();
        QVERIFY(server->start());
        destination = environment->scratch() + QStringLiteral("/file.zip");
    }

    void cleanup()
    {
        server.reset();
        environment.reset();
    }

    // The site sees the browser on the probe and on every range: its user agent, the page it came
    // from, the cookies the browser would send, and the cookie a redirect handed out. Cookies that
    // expired, belong to another site or need https stay behind, and the page's fragment too.
    void sessionOnEveryRequest()
    {
        const QByteArray body = randomBody(40000);
        server->setResource("/file.zip", resource(body));
        Fault redirect = Fault::redirect(302, server->url("/file.zip").toEncoded());
        redirect.setCookie = "gate=open; Path=/";
        server->addFault(redirect.on("/start"));

        RequestContext context = browserContext();
        context.referrer = QUrl(QStringLiteral("https://site.example/page?q=1#section"));
        context.size = body.size();
        BrowserCookie expired = cookie("old", QStringLiteral("127.0.0.1"));
        expired.expires = QDateTime::currentSecsSinceEpoch() - 60;
        BrowserCookie secure = cookie("strict", QStringLiteral("127.0.0.1"));
        secure.secure = true;
        BrowserCookie elsewhere = cookie("foreign", QStringLiteral("site.example"));
        BrowserCookie otherPath = cookie("scoped", QStringLiteral("127.0.0.1"));
        otherPath.path = QStringLiteral("/private/");
        context.cookies = {cookie("sid", QStringLiteral("127.0.0.1")), expired, secure, elsewhere, otherPath};

        DownloadSpec download = spec(server->url("/start"), destination, 4);
        download.context = context;
        EngineHarness engine(download);
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QCOMPARE(readFile(destination), body);
        // Nothing of the session outlives the download.
        QVERIFY(engine.last().context.isEmpty());

        const QList<TestHttpServer::Request> requests = server->requests();
        int ranges = 0;
        for (const TestHttpServer::Request &request : requests) {
            QCOMPARE(request.header("User-Agent"), context.userAgent);
            QCOMPARE(request.header("Referer"), QByteArray("https://site.example/page?q=1"));
            const QByteArray cookies = request.header("Cookie");
            QVERIFY2(cookies.contains("sid=v-sid"), cookies.constData());
            for (const char *absent : {"old=", "strict=", "foreign=", "scoped="})
                QVERIFY2(!cookies.contains(absent), cookies.constData());
            if (request.path == "/file.zip") {
                QVERIFY2(cookies.contains("gate=open"), cookies.constData());
                ranges += request.header("Range") != "bytes=0-0";
            }
        }
        QCOMPARE(ranges, 4);
    }

    // What the probe gets decides before a byte is written: a download the browser handed over
    // never completes as a web page or a file of another size, and a refusal says how to renew the
    // browser's session. One added by hand fetches what the link gives.
    void answersJudged_data()
    {
        QTest::addColumn<bool>("fromBrowser");
        QTest::addColumn<QByteArray>("servedType");
        QTest::addColumn<qint64>("sizeOffset");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error");

        QTest::newRow("the file") << true << QByteArray("application/zip") << 0LL << 0
                                  << DownloadStatus::Completed << QString();
        QTest::newRow("a login page")
            << true << QByteArray("text/html; charset=utf-8") << 0LL << 0 << DownloadStatus::Error << webPage;
        QTest::newRow("another size")
            << true << QByteArray("application/zip") << 1LL << 0 << DownloadStatus::Error << otherSize;
        QTest::newRow("a page by hand")
            << false << QByteArray("text/html") << 0LL << 0 << DownloadStatus::Completed << QString();
        QTest::newRow("403 on a range")
            << true << QByteArray("application/zip") << 0LL << 403 << DownloadStatus::Error << renewSignIn;
        QTest::newRow("401 on a range")
            << true << QByteArray("application/zip") << 0LL << 401 << DownloadStatus::Error << renewSignIn;
        QTest::newRow("403 by hand") << false << QByteArray("application/zip") << 0LL << 403
                                     << DownloadStatus::Error << QStringLiteral("Server returned HTTP 403.");
    }

    void answersJudged()
    {
        QFETCH(bool, fromBrowser);
        QFETCH(QByteArray, servedType);
        QFETCH(qint64, sizeOffset);
        QFETCH(int, refusal);
        QFETCH(QString, status);
        QFETCH(QString, error);

        const QByteArray body = randomBody(30000);
        TestHttpServer::Resource served = resource(body);
        served.contentType = servedType;
        server->setResource("/file.zip", served);
        if (refusal != 0)
            server->addFault(Fault::httpStatus(refusal).onSegmentsOnly().repeated(4));
        DownloadSpec download = spec(server->url("/file.zip"), destination, 2);
        if (fromBrowser) {
            download.context = browserContext();
            download.context.size = body.size() + sizeOffset;
        }
        EngineHarness engine(download);
        engine.start();
        QVERIFY(engine.waitFor([](const DownloadSnapshot &snapshot) {
            return snapshot.status == DownloadStatus::Completed || snapshot.status == DownloadStatus::Error;
        }) >= 0);
        QCOMPARE(engine.last().status, status);
        QCOMPARE(engine.last().error, error);
        if (status != DownloadStatus::Completed) {
            QVERIFY(!QFile::exists(destination));
            // Refused at the probe: no partial file was even made, and nothing is retried.
            if (refusal == 0)
                QVERIFY(!QFile::exists(destination + QStringLiteral(".rushlet.part")));
            engine.settle(200);
            QCOMPARE(engine.last().status, DownloadStatus::Error);
        }
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngineSession)
#include "tst_DownloadEngineSession.moc"
