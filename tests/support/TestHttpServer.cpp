#include "tests/support/TestHttpServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr qint64 maxHeadBytes = 64 * 1024;
constexpr qint64 writeChunk = 64 * 1024;
// Keeps the socket's own buffer short, so that a rate limit or a drop is felt by the client soon.
constexpr qint64 maxQueuedBytes = 256 * 1024;
constexpr int rateTickMs = 20;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 416:
        return "Range Not Satisfiable";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

struct ByteRange
{
    qint64 first = 0;
    qint64 last = 0;
};

enum class RangeResult
{
    Ignore,
    Satisfiable,
    Unsatisfiable
};

// Only a single range is understood; anything else is served whole, as many servers do.
RangeResult parseRange(const QByteArray &header, qint64 size, ByteRange &range)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*bytes\\s*=\\s*(\\d*)\\s*-\\s*(\\d*)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(header));
    if (!match.hasMatch())
        return RangeResult::Ignore;
    const QString first = match.captured(1);
    const QString last = match.captured(2);
    if (first.isEmpty() && last.isEmpty())
        return RangeResult::Ignore;
    if (first.isEmpty()) {
        const qint64 suffix = last.toLongLong();
        if (suffix == 0 || size == 0)
            return RangeResult::Unsatisfiable;
        range.first = std::max<qint64>(0, size - suffix);
        range.last = size - 1;
        return RangeResult::Satisfiable;
    }
    range.first = first.toLongLong();
    range.last = last.isEmpty() ? size - 1 : std::min(last.toLongLong(), size - 1);
    if (!last.isEmpty() && last.toLongLong() < range.first)
        return RangeResult::Ignore;
    if (range.first >= size)
        return RangeResult::Unsatisfiable;
    return RangeResult::Satisfiable;
}

// If-Range holds either an entity tag (compared strongly: a weak tag never matches) or a date
// (compared exactly with Last-Modified).
bool ifRangeMatches(const QByteArray &ifRange, const TestHttpServer::Resource &resource)
{
    if (ifRange.startsWith("W/"))
        return false;
    if (ifRange.startsWith('"'))
        return !resource.etag.startsWith("W/") && ifRange == resource.etag;
    return !resource.lastModified.isEmpty() && ifRange == resource.lastModified;
}

bool faultMatches(const TestHttpServer::Fault &fault, const TestHttpServer::Request &request)
{
    if (!fault.path.isEmpty() && request.path.split('?').value(0) != fault.path)
        return false;
    return !fault.when || fault.when(request);
}

} // namespace

// What one answer consists of, worked out under the server's lock and then sent without it.
struct TestHttpServer::Plan
{
    int status = 0;
    QByteArray head; // empty: never answer
    QByteArray body; // shared with the resource, so planning copies nothing
    qint64 offset = 0;
    qint64 length = 0;
    QByteArray tail;
    qint64 limit = -1; // body bytes to send before the drop or the stall
    bool closeAfter = false;
    bool stallAfter = false;
    // Set instead of all else when the answer is to be worked out later, with this fault.
    int delayMs = 0;
    TestHttpServer::Fault delayedFault;

    qint64 bytesToSend() const
    {
        const qint64 all = length + tail.size();
        return limit >= 0 ? std::min(limit, all) : all;
    }
};

class TestHttpConnection : public QObject
{
public:
    TestHttpConnection(TestHttpServer *server, QTcpSocket *socket, int number, QObject *parent)
        : QObject(parent)
        , server(server)
        , socket(socket)
        , number(number)
    {
        socket->setParent(this);
        rateTimer.setInterval(rateTickMs);
        connect(&rateTimer, &QTimer::timeout, this, [this] { pump(); });
        connect(socket, &QTcpSocket::readyRead, this, [this] { readRequests(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

    void abort() { socket->abort(); }

private:
    enum class State
    {
        Reading,
        Waiting,
        Answering,
        Stalled,
        Closing
    };

    void readRequests()
    {
        if (state != State::Reading) {
            if (state == State::Stalled || state == State::Closing)
                socket->readAll();
            else
                input += socket->readAll();
            return;
        }
        input += socket->readAll();
        while (state == State::Reading) {
            if (skipBytes > 0) {
                const qint64 skipped = std::min<qint64>(skipBytes, input.size());
                input.remove(0, skipped);
                skipBytes -= skipped;
                if (skipBytes > 0)
                    return;
            }
            const qsizetype end = input.indexOf("\r\n\r\n");
            if (end < 0) {
                if (input.size() > maxHeadBytes)
                    socket->abort();
                return;
            }
            const QByteArray head = input.left(end);
            input.remove(0, end + 4);
            if (!begin(head))
                return;
        }
    }

    bool begin(const QByteArray &head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3) {
            socket->abort();
            return false;
        }
        TestHttpServer::Request request;
        request.connection = number;
        request.method = requestLine.at(0);
        request.path = requestLine.at(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        skipBytes = request.header("Content-Length").toLongLong();
        const bool clientCloses = request.header("Connection").toLower() == "close";

        requestIndex = server->record(request);
        plan = server->plan(request);
        if (plan.delayMs > 0) {
            state = State::Waiting;
            QTimer::singleShot(plan.delayMs, this, [this, request, clientCloses, fault = plan.delayedFault] {
                plan = server->planDelayed(request, fault);
                if (answer(clientCloses))
                    readRequests();
            });
            return false;
        }
        return answer(clientCloses);
    }

    // Sends the planned answer; true when the connection is ready for its next request.
    bool answer(bool clientCloses)
    {
        if (clientCloses && !plan.closeAfter && !plan.head.isEmpty()) {
            plan.closeAfter = true;
            plan.head.insert(plan.head.size() - 2, "Connection: close\r\n");
        }
        if (plan.head.isEmpty()) {
            state = State::Stalled;
            return false;
        }
        server->noteAnswer(requestIndex, plan.status);
        socket->write(plan.head);
        sent = 0;
        state = State::Answering;
        allowance = 0;
        clock.start();
        pump();
        return state == State::Reading;
    }

    void pump()
    {
        if (state != State::Answering)
            return;
        const qint64 rate = server->rate();
        if (rate > 0) {
            allowance = std::min(allowance + rate * clock.restart() / 1000, std::max<qint64>(rate / 10, 1));
            if (!rateTimer.isActive())
                rateTimer.start();
        }
        const qint64 toSend = plan.bytesToSend();
        while (sent < toSend && socket->bytesToWrite() < maxQueuedBytes) {
            qint64 n = std::min(writeChunk, toSend - sent);
            if (rate > 0) {
                n = std::min(n, allowance);
                if (n <= 0)
                    return;
                allowance -= n;
            }
            if (sent < plan.length) {
                n = std::min(n, plan.length - sent);
                socket->write(plan.body.constData() + plan.offset + sent, n);
            } else {
                socket->write(plan.tail.constData() + (sent - plan.length), n);
            }
            sent += n;
            server->noteBodyBytes(requestIndex, n);
        }
        if (sent < toSend)
            return;
        rateTimer.stop();
        if (plan.stallAfter) {
            state = State::Stalled;
        } else if (plan.closeAfter) {
            state = State::Closing;
            socket->disconnectFromHost();
        } else {
            state = State::Reading;
            // The next request may already be waiting; take it up outside this call chain.
            QTimer::singleShot(0, this, [this] { readRequests(); });
        }
    }

    TestHttpServer *server;
    QTcpSocket *socket;
    const int number;
    State state = State::Reading;
    QByteArray input;
    qint64 skipBytes = 0;
    int requestIndex = -1;
    TestHttpServer::Plan plan;
    qint64 sent = 0;
    qint64 allowance = 0;
    QElapsedTimer clock;
    QTimer rateTimer;
};

class TestHttpServerWorker : public QObject
{
public:
    explicit TestHttpServerWorker(TestHttpServer *server)
        : server(server)
    {
    }

    quint16 listen()
    {
        tcp = new QTcpServer(this);
        connect(tcp, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = tcp->nextPendingConnection())
                connections.append(new TestHttpConnection(server, socket, ++accepted, this));
        });
        if (!tcp->listen(QHostAddress::LocalHost, 0))
            return 0;
        return tcp->serverPort();
    }

    void dropAll()
    {
        for (const QPointer<TestHttpConnection> &connection : std::as_const(connections)) {
            if (connection)
                connection->abort();
        }
        connections.clear();
    }

    void shutdown()
    {
        dropAll();
        delete tcp;
        tcp = nullptr;
        qDeleteAll(children());
    }

private:
    TestHttpServer *server;
    QTcpServer *tcp = nullptr;
    QList<QPointer<TestHttpConnection>> connections;
    int accepted = 0;
};

QByteArray TestHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

TestHttpServer::Fault TestHttpServer::Fault::httpStatus(int code)
{
    Fault fault;
    fault.status = code;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::redirect(int code, const QByteArray &location)
{
    Fault fault;
    fault.status = code;
    fault.location = location;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::dropAfter(qint64 bodyBytes)
{
    Fault fault;
    fault.dropAfterBodyBytes = bodyBytes;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::stallAfter(qint64 bodyBytes)
{
    Fault fault;
    fault.stallAfterBodyBytes = bodyBytes;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::stallBeforeAnswer()
{
    Fault fault;
    fault.stallBeforeHeaders = true;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::wrongContentRange(const QByteArray &value)
{
    Fault fault;
    fault.contentRange = value;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::changedEtag(const QByteArray &value)
{
    Fault fault;
    fault.etag = value;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::gzipEncoded()
{
    Fault fault;
    fault.gzip = true;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::overlongBody(qint64 extraBytes)
{
    Fault fault;
    fault.extraBodyBytes = extraBytes;
    return fault;
}

TestHttpServer::Fault TestHttpServer::Fault::wholeBody()
{
    Fault fault;
    fault.ignoreRange = true;
    return fault;
}

TestHttpServer::Fault &TestHttpServer::Fault::on(const QByteArray &requestPath)
{
    path = requestPath;
    return *this;
}

TestHttpServer::Fault &TestHttpServer::Fault::onSegmentsOnly()
{
    when = [](const Request &request) {
        const QByteArray range = request.header("Range");
        return !range.isNull() && range != "bytes=0-0";
    };
    return *this;
}

TestHttpServer::Fault &TestHttpServer::Fault::repeated(int count)
{
    times = count;
    return *this;
}

TestHttpServer::TestHttpServer() = default;

TestHttpServer::~TestHttpServer()
{
    if (!thread)
        return;
    QMetaObject::invokeMethod(
        worker, [this] { worker->shutdown(); }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete worker;
}

bool TestHttpServer::start()
{
    if (thread)
        return listeningPort != 0;
    thread = std::make_unique<QThread>();
    thread->setObjectName(QStringLiteral("TestHttpServer"));
    worker = new TestHttpServerWorker(this);
    worker->moveToThread(thread.get());
    thread->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(
        worker, [this, &port] { port = worker->listen(); }, Qt::BlockingQueuedConnection);
    QMutexLocker locker(&mutex);
    listeningPort = port;
    return port != 0;
}

quint16 TestHttpServer::port() const
{
    QMutexLocker locker(&mutex);
    return listeningPort;
}

QUrl TestHttpServer::url(const QByteArray &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(QString::fromLatin1(path)));
}

void TestHttpServer::setResource(const QByteArray &path, const Resource &resource)
{
    QMutexLocker locker(&mutex);
    resources.insert(path, resource);
}

void TestHttpServer::removeResource(const QByteArray &path)
{
    QMutexLocker locker(&mutex);
    resources.remove(path);
}

void TestHttpServer::addFault(const Fault &fault)
{
    QMutexLocker locker(&mutex);
    faults.append(fault);
}

void TestHttpServer::clearFaults()
{
    QMutexLocker locker(&mutex);
    faults.clear();
}

int TestHttpServer::pendingFaults() const
{
    QMutexLocker locker(&mutex);
    return int(faults.size());
}

void TestHttpServer::setBytesPerSecond(qint64 rate)
{
    QMutexLocker locker(&mutex);
    bytesPerSecond = rate;
}

QList<TestHttpServer::Request> TestHttpServer::requests() const
{
    QMutexLocker locker(&mutex);
    // A copy of its own: the server thread goes on updating the entries of the log in place.
    return QList<Request>(log.cbegin(), log.cend());
}

int TestHttpServer::requestCount() const
{
    QMutexLocker locker(&mutex);
    return int(log.size());
}

void TestHttpServer::clearRequests()
{
    QMutexLocker locker(&mutex);
    log.clear();
}

qint64 TestHttpServer::bodyBytesSent() const
{
    QMutexLocker locker(&mutex);
    return sentTotal;
}

void TestHttpServer::dropConnections()
{
    if (worker)
        QMetaObject::invokeMethod(
            worker, [this] { worker->dropAll(); }, Qt::BlockingQueuedConnection);
}

int TestHttpServer::record(const Request &request)
{
    QMutexLocker locker(&mutex);
    log.append(request);
    return int(log.size() - 1);
}

void TestHttpServer::noteAnswer(int index, int status)
{
    QMutexLocker locker(&mutex);
    if (index >= 0 && index < log.size())
        log[index].status = status;
}

void TestHttpServer::noteBodyBytes(int index, qint64 bytes)
{
    QMutexLocker locker(&mutex);
    sentTotal += bytes;
    // A test may have cleared the log while this answer was under way.
    if (index >= 0 && index < log.size())
        log[index].bodyBytesSent += bytes;
}

qint64 TestHttpServer::rate() const
{
    QMutexLocker locker(&mutex);
    return bytesPerSecond;
}

TestHttpServer::Plan TestHttpServer::plan(const Request &request)
{
    QMutexLocker locker(&mutex);
    Fault fault;
    for (qsizetype i = 0; i < faults.size(); ++i) {
        if (!faultMatches(faults.at(i), request))
            continue;
        fault = faults.at(i);
        if (--faults[i].times <= 0)
            faults.removeAt(i);
        break;
    }
    if (fault.answerDelayMs > 0) {
        Plan later;
        later.delayMs = std::exchange(fault.answerDelayMs, 0);
        later.delayedFault = fault;
        return later;
    }
    return answer(request, fault);
}

TestHttpServer::Plan TestHttpServer::planDelayed(const Request &request, const Fault &fault)
{
    QMutexLocker locker(&mutex);
    return answer(request, fault);
}

// Called with the lock held.
TestHttpServer::Plan TestHttpServer::answer(const Request &request, const Fault &fault)
{
    Plan plan;
    if (fault.stallBeforeHeaders) {
        plan.stallAfter = true;
        return plan;
    }

    QByteArray headers;
    const QByteArray path = request.path.split('?').value(0);
    const auto found = resources.constFind(path);
    bool withLength = true;
    if (fault.status != 0 || found == resources.cend()) {
        plan.status = fault.status != 0 ? fault.status : 404;
        plan.body = "HTTP " + QByteArray::number(plan.status) + "\n";
        plan.length = plan.body.size();
        headers += "Content-Type: text/plain\r\n";
        if (!fault.location.isEmpty())
            headers += "Location: " + fault.location + "\r\n";
        if (!fault.setCookie.isEmpty())
            headers += "Set-Cookie: " + fault.setCookie + "\r\n";
    } else {
        const Resource &resource = found.value();
        const qint64 size = resource.body.size();
        plan.body = resource.body;
        plan.status = 200;
        plan.length = size;
        withLength = resource.contentLength;

        const QByteArray rangeHeader = request.header("Range");
        const QByteArray ifRange = request.header("If-Range");
        ByteRange range;
        RangeResult result = RangeResult::Ignore;
        if (resource.acceptRanges && !fault.ignoreRange && !rangeHeader.isNull() &&
            (ifRange.isNull() || ifRangeMatches(ifRange, resource)))
            result = parseRange(rangeHeader, size, range);
        if (result == RangeResult::Satisfiable) {
            plan.status = 206;
            plan.offset = range.first;
            plan.length = range.last - range.first + 1;
            headers += "Content-Range: bytes " + QByteArray::number(range.first) + "-" +
                       QByteArray::number(range.last) + "/" + QByteArray::number(size) + "\r\n";
        } else if (result == RangeResult::Unsatisfiable) {
            plan.status = 416;
            plan.body = "HTTP 416\n";
            plan.length = plan.body.size();
            withLength = true;
            headers += "Content-Range: bytes */" + QByteArray::number(size) + "\r\n";
        }
        if (resource.acceptRanges)
            headers += "Accept-Ranges: bytes\r\n";
        const QByteArray etag = fault.etag.isEmpty() ? resource.etag : fault.etag;
        if (!etag.isEmpty())
            headers += "ETag: " + etag + "\r\n";
        const QByteArray lastModified =
            fault.lastModified.isEmpty() ? resource.lastModified : fault.lastModified;
        if (!lastModified.isEmpty())
            headers += "Last-Modified: " + lastModified + "\r\n";
        headers += "Content-Type: application/octet-stream\r\n";
    }

    if (!fault.contentRange.isEmpty()) {
        const qsizetype at = headers.indexOf("Content-Range:");
        if (at >= 0)
            headers.remove(at, headers.indexOf("\r\n", at) + 2 - at);
        headers += "Content-Range: " + fault.contentRange + "\r\n";
    }
    if (fault.gzip)
        headers += "Content-Encoding: gzip\r\n";
    if (fault.extraBodyBytes > 0)
        plan.tail = QByteArray(fault.extraBodyBytes, 'x');
    if (withLength)
        headers += "Content-Length: " + QByteArray::number(plan.length + plan.tail.size()) + "\r\n";
    else
        plan.closeAfter = true;
    if (request.method == "HEAD") {
        plan.length = 0;
        plan.tail.clear();
    }
    if (fault.dropAfterBodyBytes >= 0) {
        plan.limit = fault.dropAfterBodyBytes;
        plan.closeAfter = true;
    } else if (fault.stallAfterBodyBytes >= 0) {
        plan.limit = fault.stallAfterBodyBytes;
        plan.stallAfter = true;
    }
    // An over-long body leaves the connection in no state to carry another request.
    if (!plan.tail.isEmpty())
        plan.closeAfter = true;
    if (plan.closeAfter)
        headers += "Connection: close\r\n";

    plan.head = "HTTP/1.1 " + QByteArray::number(plan.status) + " " + reasonPhrase(plan.status) + "\r\n" +
                "Server: rushlet-test\r\n" + headers + "\r\n";
    return plan;
}
