#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QUrl>

#include <functional>
#include <memory>

class QThread;
class TestHttpServerWorker;

// A small HTTP/1.1 server on 127.0.0.1 whose answers a test scripts. It runs in a thread of its
// own, so it keeps serving while the test blocks, spins an event loop, or drives a client in yet
// another thread. Every public member may be called from any thread.
//
// It serves named resources from memory with single byte ranges, If-Range, ETag and
// Last-Modified, and applies queued faults to the next requests that match them.
class TestHttpServer
{
public:
    struct Resource
    {
        QByteArray body;
        QByteArray etag;         // sent as is: "\"v1\"", or W/"v1" for a weak one; empty sends none
        QByteArray lastModified; // sent as is; empty sends none
        bool acceptRanges = true;
        // Without a length the body ends when the server closes the connection.
        bool contentLength = true;
    };

    struct Request
    {
        int connection = 0; // numbered from 1 in order of acceptance
        QByteArray method;
        QByteArray path; // the request target as sent, query included
        QList<QPair<QByteArray, QByteArray>> headers;
        int status = 0; // the status the server answered with, 0 while none was sent
        qint64 bodyBytesSent = 0;

        // The value of a header (name compared case-insensitively), or a null array when absent.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const { return !header(name).isNull(); }
    };

    // What to do differently for the next request that matches. Fields combine: a wrong
    // Content-Range with a drop after 10 bytes is one fault.
    struct Fault
    {
        // Which requests it applies to: an empty path matches every path; `when` (if set) must also
        // accept the request. It is called in the server's thread and must not block.
        QByteArray path;
        std::function<bool(const Request &)> when;
        int times = 1; // applies to this many matching requests

        int status = 0;            // answer with this status and a short text body instead of the resource
        QByteArray location;       // Location header, for a redirecting status
        QByteArray setCookie;      // Set-Cookie header, with the status above
        bool ignoreRange = false;  // answer 200 with the whole body even when asked for a range
        QByteArray contentRange;   // replaces the Content-Range value of a 206
        QByteArray etag;           // replaces the ETag value of this answer
        QByteArray lastModified;   // replaces the Last-Modified value of this answer
        bool gzip = false;         // labels the body "Content-Encoding: gzip"
        qint64 extraBodyBytes = 0; // appends this many filler bytes beyond the announced part
        qint64 dropAfterBodyBytes = -1;  // closes the connection after this many body bytes
        qint64 stallAfterBodyBytes = -1; // sends this many body bytes, then nothing, connection open
        bool stallBeforeHeaders = false; // reads the request and never answers
        // Works the answer out this long after the request arrived, so that it shows a resource
        // replaced meanwhile.
        int answerDelayMs = 0;

        static Fault httpStatus(int code);
        static Fault redirect(int code, const QByteArray &location);
        static Fault dropAfter(qint64 bodyBytes);
        static Fault stallAfter(qint64 bodyBytes);
        static Fault stallBeforeAnswer();
        static Fault wrongContentRange(const QByteArray &value);
        static Fault changedEtag(const QByteArray &value);
        static Fault gzipEncoded();
        static Fault overlongBody(qint64 extraBytes);
        static Fault wholeBody();

        // Restricts the fault to requests for `path`.
        Fault &on(const QByteArray &requestPath);
        // Restricts the fault to requests that carry a Range header other than the one-byte probe.
        Fault &onSegmentsOnly();
        Fault &repeated(int count);
    };

    TestHttpServer();
    ~TestHttpServer();

    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    // Listens on a free loopback port. False when that failed.
    bool start();
    quint16 port() const;
    // An http URL on this server; `path` starts with "/".
    QUrl url(const QByteArray &path) const;

    // Adds or replaces a resource; replacing it is how a test changes the file on the server.
    void setResource(const QByteArray &path, const Resource &resource);
    void removeResource(const QByteArray &path);
    void addFault(const Fault &fault);
    void clearFaults();
    int pendingFaults() const;
    // Limits every answer's body to about this rate per connection (0: unlimited), so that a test can
    // act while a transfer is still under way.
    void setBytesPerSecond(qint64 rate);

    QList<Request> requests() const;
    int requestCount() const;
    void clearRequests();
    qint64 bodyBytesSent() const;
    // Closes every open connection at once (a stalled answer included).
    void dropConnections();

private:
    friend class TestHttpServerWorker;
    friend class TestHttpConnection;

    struct Plan;
    Plan plan(const Request &request);
    Plan planDelayed(const Request &request, const Fault &fault);
    Plan answer(const Request &request, const Fault &fault);
    int record(const Request &request);
    void noteAnswer(int index, int status);
    void noteBodyBytes(int index, qint64 bytes);
    qint64 rate() const;

    mutable QMutex mutex;
    QHash<QByteArray, Resource> resources;
    QList<Fault> faults;
    QList<Request> log;
    qint64 bytesPerSecond = 0;
    qint64 sentTotal = 0;
    quint16 listeningPort = 0;

    std::unique_ptr<QThread> thread;
    TestHttpServerWorker *worker = nullptr;
};
