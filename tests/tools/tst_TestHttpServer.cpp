#include "tests/support/TestHttpServer.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

struct Answer
{
    int status = 0;
    Headers headers;
    QByteArray body;
    bool closed = false;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &[key, value] : headers) {
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        }
        return {};
    }
};

Answer parse(const QByteArray &raw)
{
    Answer answer;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0)
        return answer;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    answer.status = lines.value(0).split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        answer.headers.append({lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    answer.body = raw.mid(end + 4);
    return answer;
}

// Sends one GET asking the server to close afterwards, and reads until it does or until waitMs.
Answer fetch(quint16 port, const QByteArray &path, const Headers &headers = {}, int waitMs = 20000)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(10000))
        return {};
    QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    for (const auto &[key, value] : headers)
        request += key + ": " + value + "\r\n";
    socket.write(request + "\r\n");
    QByteArray raw;
    QDeadlineTimer deadline(waitMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        raw += socket.readAll();
    }
    raw += socket.readAll();
    Answer answer = parse(raw);
    answer.closed = socket.state() != QAbstractSocket::ConnectedState;
    return answer;
}

const QByteArray content = "0123456789";

} // namespace

Q_DECLARE_METATYPE(TestHttpServer::Fault)

class TestTestHttpServer : public QObject
{
    Q_OBJECT

private:
    TestHttpServer server;

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        server.setResource("/file", {content, "\"v1\"", "Tue, 01 Dec 2026 10:00:00 GMT"});
        server.setResource("/empty", {QByteArray(), "\"e\"", {}});
        server.setResource("/weak", {content, "W/\"w\"", {}});
    }

    void init()
    {
        server.clearFaults();
        server.clearRequests();
    }

    void ranges_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<QByteArray>("ifRange");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentRange");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("whole") << QByteArray("/file") << QByteArray() << QByteArray() << 200 << QByteArray()
                               << content;
        QTest::newRow("closed range") << QByteArray("/file") << QByteArray("bytes=2-5") << QByteArray() << 206
                                      << QByteArray("bytes 2-5/10") << QByteArray("2345");
        QTest::newRow("open range") << QByteArray("/file") << QByteArray("bytes=7-") << QByteArray() << 206
                                    << QByteArray("bytes 7-9/10") << QByteArray("789");
        QTest::newRow("end beyond size") << QByteArray("/file") << QByteArray("bytes=8-100") << QByteArray()
                                         << 206 << QByteArray("bytes 8-9/10") << QByteArray("89");
        QTest::newRow("suffix") << QByteArray("/file") << QByteArray("bytes=-3") << QByteArray() << 206
                                << QByteArray("bytes 7-9/10") << QByteArray("789");
        QTest::newRow("beyond the end") << QByteArray("/file") << QByteArray("bytes=10-20") << QByteArray()
                                        << 416 << QByteArray("bytes */10") << QByteArray("HTTP 416\n");
        QTest::newRow("empty resource") << QByteArray("/empty") << QByteArray("bytes=0-0") << QByteArray()
                                        << 416 << QByteArray("bytes */0") << QByteArray("HTTP 416\n");
        QTest::newRow("if-range etag matches")
            << QByteArray("/file") << QByteArray("bytes=0-0") << QByteArray("\"v1\"") << 206
            << QByteArray("bytes 0-0/10") << QByteArray("0");
        QTest::newRow("if-range etag stale") << QByteArray("/file") << QByteArray("bytes=0-0")
                                             << QByteArray("\"v0\"") << 200 << QByteArray() << content;
        QTest::newRow("if-range date matches")
            << QByteArray("/file") << QByteArray("bytes=1-1") << QByteArray("Tue, 01 Dec 2026 10:00:00 GMT")
            << 206 << QByteArray("bytes 1-1/10") << QByteArray("1");
        QTest::newRow("if-range weak never matches")
            << QByteArray("/weak") << QByteArray("bytes=0-0") << QByteArray("W/\"w\"") << 200 << QByteArray()
            << content;
        QTest::newRow("several ranges served whole") << QByteArray("/file") << QByteArray("bytes=0-1,4-5")
                                                     << QByteArray() << 200 << QByteArray() << content;
        QTest::newRow("unknown path") << QByteArray("/missing") << QByteArray() << QByteArray() << 404
                                      << QByteArray() << QByteArray("HTTP 404\n");
    }

    void ranges()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, range);
        QFETCH(QByteArray, ifRange);
        Headers headers;
        if (!range.isEmpty())
            headers.append({"Range", range});
        if (!ifRange.isEmpty())
            headers.append({"If-Range", ifRange});
        const Answer answer = fetch(server.port(), path, headers);
        QTEST(answer.status, "status");
        QTEST(answer.header("Content-Range"), "contentRange");
        QTEST(answer.body, "body");
        QCOMPARE(answer.header("Content-Length").toLongLong(), answer.body.size());

        const QList<TestHttpServer::Request> log = server.requests();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.at(0).path, path);
        QCOMPARE(log.at(0).header("range"), range.isEmpty() ? QByteArray() : range);
        QCOMPARE(log.at(0).status, answer.status);
    }

    void closeDelimitedBody()
    {
        server.setResource("/stream", {content, {}, {}, false, false});
        const Answer answer = fetch(server.port(), "/stream", {{"Range", "bytes=0-0"}});
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.header("Content-Length").isNull());
        QVERIFY(answer.header("Accept-Ranges").isNull());
        QCOMPARE(answer.body, content);
        QVERIFY(answer.closed);
    }

    void faults_data()
    {
        using Fault = TestHttpServer::Fault;
        QTest::addColumn<TestHttpServer::Fault>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("body");

        QTest::newRow("status") << Fault::httpStatus(503) << 503 << QByteArray("ETag") << QByteArray()
                                << QByteArray("HTTP 503\n");
        QTest::newRow("redirect") << Fault::redirect(307, "/elsewhere") << 307 << QByteArray("Location")
                                  << QByteArray("/elsewhere") << QByteArray("HTTP 307\n");
        QTest::newRow("drop") << Fault::dropAfter(3) << 206 << QByteArray("Content-Length") << QByteArray("8")
                              << QByteArray("123");
        QTest::newRow("wrong content-range")
            << Fault::wrongContentRange("bytes 0-7/10") << 206 << QByteArray("Content-Range")
            << QByteArray("bytes 0-7/10") << QByteArray("12345678");
        QTest::newRow("changed etag") << Fault::changedEtag("\"v2\"") << 206 << QByteArray("ETag")
                                      << QByteArray("\"v2\"") << QByteArray("12345678");
        QTest::newRow("gzip") << Fault::gzipEncoded() << 206 << QByteArray("Content-Encoding")
                              << QByteArray("gzip") << QByteArray("12345678");
        QTest::newRow("over-long body") << Fault::overlongBody(2) << 206 << QByteArray("Content-Range")
                                        << QByteArray("bytes 1-8/10") << QByteArray("12345678xx");
        QTest::newRow("range ignored")
            << Fault::wholeBody() << 200 << QByteArray("Content-Range") << QByteArray() << content;
    }

    // Each fault shapes exactly one answer; the request after it is served normally.
    void faults()
    {
        QFETCH(TestHttpServer::Fault, fault);
        server.addFault(fault.on("/file"));
        const Answer answer = fetch(server.port(), "/file", {{"Range", "bytes=1-8"}});
        QTEST(answer.status, "status");
        QFETCH(QByteArray, header);
        QTEST(answer.header(header), "value");
        QTEST(answer.body, "body");
        QCOMPARE(server.pendingFaults(), 0);

        const Answer next = fetch(server.port(), "/file", {{"Range", "bytes=1-8"}});
        QCOMPARE(next.status, 206);
        QCOMPARE(next.body, QByteArray("12345678"));
    }

    void faultSelection()
    {
        server.addFault(TestHttpServer::Fault::httpStatus(500).on("/other"));
        server.addFault(TestHttpServer::Fault::httpStatus(429).onSegmentsOnly().repeated(2));
        QCOMPARE(fetch(server.port(), "/file", {{"Range", "bytes=0-0"}}).status, 206);
        QCOMPARE(fetch(server.port(), "/file").status, 200);
        QCOMPARE(fetch(server.port(), "/file", {{"Range", "bytes=2-3"}}).status, 429);
        QCOMPARE(fetch(server.port(), "/file", {{"Range", "bytes=4-5"}}).status, 429);
        QCOMPARE(fetch(server.port(), "/file", {{"Range", "bytes=4-5"}}).status, 206);
        QCOMPARE(server.pendingFaults(), 1);
    }

    void stalls()
    {
        server.addFault(TestHttpServer::Fault::stallBeforeAnswer());
        const Answer silent = fetch(server.port(), "/file", {}, 500);
        QVERIFY(!silent.closed);
        QCOMPARE(silent.status, 0);

        server.addFault(TestHttpServer::Fault::stallAfter(4));
        const Answer partial = fetch(server.port(), "/file", {}, 500);
        QVERIFY(!partial.closed);
        QCOMPARE(partial.status, 200);
        QCOMPARE(partial.body, QByteArray("0123"));
        QCOMPARE(server.requestCount(), 2);

        server.dropConnections();
    }

    // A client in the test's thread reuses its connection for several requests, and the server
    // keeps answering while the test waits in an event loop.
    void keepAliveWithNetworkClient()
    {
        const QByteArray big(3 * 1024 * 1024 + 7, 'b');
        server.setResource("/big", {big, "\"b\"", {}});
        QNetworkAccessManager manager;
        for (int i = 0; i < 3; ++i) {
            QNetworkRequest request(server.url("/big"));
            request.setRawHeader("Range", "bytes=" + QByteArray::number(i) + "-");
            request.setRawHeader("User-Agent", "probe");
            QNetworkReply *reply = manager.get(request);
            QSignalSpy finished(reply, &QNetworkReply::finished);
            QVERIFY(finished.wait(30000));
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            QCOMPARE(reply->readAll(), big.mid(i));
            reply->deleteLater();
        }
        const QList<TestHttpServer::Request> log = server.requests();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(2).connection, log.at(0).connection);
        QCOMPARE(log.at(1).header("user-agent"), QByteArray("probe"));
        QCOMPARE(log.at(1).bodyBytesSent, big.size() - 1);
    }

    void rateLimit()
    {
        server.setBytesPerSecond(200 * 1024);
        QNetworkAccessManager manager;
        QNetworkReply *reply = manager.get(QNetworkRequest(server.url("/big")));
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().value(0).bodyBytesSent > 0, 20000);
        // Well short of the 3 MiB body: the limit holds the transfer back while it runs.
        QVERIFY(!reply->isFinished());
        QVERIFY(server.requests().value(0).bodyBytesSent < 2 * 1024 * 1024);
        server.setBytesPerSecond(0);
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 30000);
        QCOMPARE(reply->readAll().size(), 3 * 1024 * 1024 + 7);
        delete reply;
    }
};

QTEST_GUILESS_MAIN(TestTestHttpServer)
#include "tst_TestHttpServer.moc"
