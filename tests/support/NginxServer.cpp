#include "tests/support/NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

bool runTool(const QString &program, const QStringList &arguments, QByteArray *output, QString *error)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForStarted(10000) || !tool.waitForFinished(30000)) {
        tool.kill();
        tool.waitForFinished(5000);
        *error = program + QStringLiteral(" did not run");
        return false;
    }
    if (output)
        *output = tool.readAllStandardOutput();
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(tool.readAllStandardError());
        return false;
    }
    return true;
}

// A port nobody listens on at this moment. Another program may take it before nginx does, which
// start() meets by trying again with new ports.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

NginxServer::NginxServer() = default;

NginxServer::~NginxServer()
{
    stop();
}

QUrl NginxServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(httpPort).arg(path));
}

QUrl NginxServer::secureUrl(const QString &path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(httpsPort).arg(path));
}

bool NginxServer::start(const Options &options)
{
    if (process.state() != QProcess::NotRunning)
        return true;
    if (!folder.isValid()) {
        error = QStringLiteral("No temporary folder");
        return false;
    }
    const QDir root(folder.path());
    for (const char *sub : {"www", "logs", "temp", "tls/trust"}) {
        if (!root.mkpath(QString::fromLatin1(sub))) {
            error = QStringLiteral("Cannot create %1").arg(QString::fromLatin1(sub));
            return false;
        }
    }
    if (!QFile::exists(certificateFile()) && !makeCertificate())
        return false;

    for (int attempt = 0; attempt < 5; ++attempt) {
        httpPort = freePort();
        httpsPort = freePort();
        if (httpPort == 0 || httpsPort == 0 || httpPort == httpsPort)
            continue;
        if (!writeConfiguration(options))
            return false;
        QFile::remove(folder.filePath(QStringLiteral("logs/error.log")));
        process.setProgram(program());
        process.setArguments({QStringLiteral("-p"), folder.path() + QLatin1Char('/'), QStringLiteral("-e"),
                              folder.filePath(QStringLiteral("logs/error.log")), QStringLiteral("-c"),
                              folder.filePath(QStringLiteral("nginx.conf"))});
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        if (!process.waitForStarted(10000)) {
            error = QStringLiteral("Cannot start %1: %2").arg(program(), process.errorString());
            return false;
        }
        if (waitUntilListening())
            return true;
        stop();
        QFile log(folder.filePath(QStringLiteral("logs/error.log")));
        const QByteArray reason = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        error = QStringLiteral("nginx did not start: ") + QString::fromLocal8Bit(reason);
        // Only a port taken in the meantime is worth another attempt.
        if (!reason.contains("Address already in use"))
            return false;
    }
    return false;
}

void NginxServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    // SIGTERM is nginx's fast shutdown; the process id is that of the one foreground process.
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
}

bool NginxServer::makeCertificate()
{
    const QString tls = folder.filePath(QStringLiteral("tls"));
    const QString openssl = QStringLiteral("openssl");
    if (!runTool(openssl,
                 {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                  QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                  QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                  QStringLiteral("-keyout"), tls + QStringLiteral("/key.pem"), QStringLiteral("-out"),
                  certificateFile(), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                  QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                  QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")},
                 nullptr, &error))
        return false;
    QByteArray hash;
    if (!runTool(openssl,
                 {QStringLiteral("x509"), QStringLiteral("-hash"), QStringLiteral("-noout"),
                  QStringLiteral("-in"), certificateFile()},
                 &hash, &error))
        return false;
    const QString hashed =
        certificateDir() + QLatin1Char('/') + QString::fromLatin1(hash.trimmed()) + QStringLiteral(".0");
    if (!QFile::copy(certificateFile(), hashed)) {
        error = QStringLiteral("Cannot copy the certificate to %1").arg(hashed);
        return false;
    }
    return true;
}

bool NginxServer::writeConfiguration(const Options &options)
{
    const QByteArray dir = QFile::encodeName(folder.path());
    QByteArray limit;
    if (options.limitRate > 0)
        limit = "    limit_rate " + QByteArray::number(options.limitRate) + ";\n";
    const QByteArray config =
        "daemon off;\n"
        "master_process off;\n"
        "pid " +
        dir +
        "/logs/nginx.pid;\n"
        "error_log " +
        dir +
        "/logs/error.log warn;\n"
        "events { worker_connections 512; }\n"
        "http {\n"
        "    log_format tests "
        "'$server_protocol\\t$status\\t$body_bytes_sent\\t$request_method\\t$request_uri\\t"
        "$http_range\\t$http_user_agent';\n"
        "    access_log " +
        dir +
        "/logs/access.log tests;\n"
        "    client_body_temp_path " +
        dir +
        "/temp/body;\n"
        "    proxy_temp_path " +
        dir +
        "/temp/proxy;\n"
        "    fastcgi_temp_path " +
        dir +
        "/temp/fastcgi;\n"
        "    uwsgi_temp_path " +
        dir +
        "/temp/uwsgi;\n"
        "    scgi_temp_path " +
        dir +
        "/temp/scgi;\n"
        "    default_type application/octet-stream;\n"
        "    sendfile on;\n"
        "    tcp_nopush on;\n"
        "    keepalive_requests 100000;\n" +
        limit +
        "    server {\n"
        "        listen 127.0.0.1:" +
        QByteArray::number(httpPort) +
        ";\n"
        "        root " +
        dir +
        "/www;\n"
        "    }\n"
        "    server {\n"
        "        listen 127.0.0.1:" +
        QByteArray::number(httpsPort) +
        " ssl http2;\n"
        "        ssl_certificate " +
        dir +
        "/tls/cert.pem;\n"
        "        ssl_certificate_key " +
        dir +
        "/tls/key.pem;\n"
        "        root " +
        dir + "/www;\n" + options.secureServerDirectives +
        "\n"
        "    }\n"
        "}\n";
    if (!writeText(folder.filePath(QStringLiteral("nginx.conf")), config)) {
        error = QStringLiteral("Cannot write the nginx configuration");
        return false;
    }
    return true;
}

bool NginxServer::waitUntilListening()
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (process.state() == QProcess::NotRunning)
            return false;
        bool all = true;
        for (const quint16 port : {httpPort, httpsPort}) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            all = all && socket.waitForConnected(1000);
        }
        if (all)
            return true;
        // nginx binds within milliseconds of its start; this only paces the polling.
        process.waitForFinished(50);
    }
    return false;
}

QList<NginxServer::LogEntry> NginxServer::accessLog() const
{
    QList<LogEntry> entries;
    QFile log(folder.filePath(QStringLiteral("logs/access.log")));
    if (!log.open(QIODevice::ReadOnly))
        return entries;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 7)
            continue;
        const auto value = [](const QByteArray &field) { return field == "-" ? QByteArray() : field; };
        LogEntry entry;
        entry.protocol = fields.at(0);
        entry.status = fields.at(1).toInt();
        entry.bodyBytes = fields.at(2).toLongLong();
        entry.method = fields.at(3);
        entry.uri = fields.at(4);
        entry.range = value(fields.at(5));
        entry.userAgent = value(fields.at(6));
        entries.append(entry);
    }
    return entries;
}
