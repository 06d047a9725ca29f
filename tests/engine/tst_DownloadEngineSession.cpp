#include "tests/engine/EngineHarness.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QDateTime>
#include <QTest>

using namespace EngineTestSupport;

// A download the browser handed over is fetched with the browser's session.
class TestDownloadEngineSession : public QObject
{
    Q_OBJECT

private slots:
    // The site sees the browser on the probe and every range: its user agent, the page it came
    // from (without the fragment), the cookies it would send, and the cookie a redirect handed out,
    // which only a jar shared by all connections carries to the ranges. Cookies that expired,
    // belong to another site or path or need https stay behind; and nothing outlives the download.
    void sessionOnEveryRequest()
    {
        TestEnvironment environment;
        TestHttpServer server;
        QVERIFY(server.start());
        server.setResource("/file.zip", resource(randomBody(40000)));
        TestHttpServer::Fault redirect =
            TestHttpServer::Fault::redirect(302, server.url("/file.zip").toEncoded());
        redirect.setCookie = "gate=open; Path=/";
        server.addFault(redirect.on("/start"));

        DownloadSpec download =
            spec(server.url("/start"), environment.scratch() + QStringLiteral("/file.zip"));
        download.context.userAgent = "Browser/1.0";
        download.context.referrer = QUrl(QStringLiteral("https://site.example/page?q=1#section"));
        const QString local = QStringLiteral("127.0.0.1");
        const qint64 past = QDateTime::currentSecsSinceEpoch() - 60;
        download.context.cookies = {{"sid", "1", local},
                                    {"old", "1", local, QStringLiteral("/"), true, false, past},
                                    {"strict", "1", local, QStringLiteral("/"), true, true},
                                    {"foreign", "1", QStringLiteral("site.example")},
                                    {"scoped", "1", local, QStringLiteral("/private/")}};
        EngineHarness engine(download);
        engine.start();
        QVERIFY(engine.waitForStatus(DownloadStatus::Completed) >= 0);
        QVERIFY(engine.last().context.isEmpty());

        int ranges = 0;
        for (const TestHttpServer::Request &request : server.requests()) {
            QCOMPARE(request.header("User-Agent"), QByteArray("Browser/1.0"));
            QCOMPARE(request.header("Referer"), QByteArray("https://site.example/page?q=1"));
            const QByteArray sent = request.header("Cookie");
            const bool ranged = request.path == "/file.zip";
            QVERIFY2(ranged ? sent == "sid=1; gate=open" || sent == "gate=open; sid=1" : sent == "sid=1",
                     sent.constData());
            ranges += ranged && request.header("Range") != "bytes=0-0";
        }
        QCOMPARE(ranges, 4);
    }
};

QTEST_GUILESS_MAIN(TestDownloadEngineSession)
#include "tst_DownloadEngineSession.moc"
