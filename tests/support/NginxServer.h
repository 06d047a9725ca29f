#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// nginx, the server people really download from, started for one test on free loopback ports:
// plain HTTP, and HTTPS with a self-signed certificate made at start (HTTP/2 offered there).
// Its configuration, document root, logs, pid file and temporary folders all live in a private
// folder; it runs in the foreground as the current user and is stopped by its process id.
class NginxServer
{
public:
    struct Options
    {
        // Per-connection rate cap in bytes per second (nginx's limit_rate); 0 for none.
        qint64 limitRate = 0;
        // Further directives for the HTTPS server block, such as a location that redirects.
        QByteArray secureServerDirectives;
    };

    // One line of the access log, written when nginx finishes a request (an aborted one too).
    struct LogEntry
    {
        QByteArray protocol; // "HTTP/1.1", "HTTP/2.0"
        int status = 0;
        qint64 bodyBytes = 0;
        QByteArray method;
        QByteArray uri;
        QByteArray range; // the request's Range header, empty when none
        QByteArray userAgent;
    };

    NginxServer();
    ~NginxServer();

    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    static QString program() { return QStringLiteral("/usr/sbin/nginx"); }

    bool start() { return start(Options()); }
    bool start(const Options &options);
    void stop();
    QString errorString() const { return error; }
    qint64 pid() const { return process.processId(); }

    // Files placed here are served under "/".
    QString documentRoot() const { return folder.path() + QStringLiteral("/www"); }
    // The self-signed certificate (PEM) for 127.0.0.1 and localhost.
    QString certificateFile() const { return folder.path() + QStringLiteral("/tls/cert.pem"); }
    // A folder holding only that certificate under its hashed name, in the form OpenSSL's
    // SSL_CERT_DIR expects.
    QString certificateDir() const { return folder.path() + QStringLiteral("/tls/trust"); }

    QUrl url(const QString &path) const;
    QUrl secureUrl(const QString &path) const;

    QList<LogEntry> accessLog() const;

private:
    bool makeCertificate();
    bool writeConfiguration(const Options &options);
    bool waitUntilListening();

    QTemporaryDir folder;
    QProcess process;
    quint16 httpPort = 0;
    quint16 httpsPort = 0;
    QString error;
};
