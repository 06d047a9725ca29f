#include "tests/support/BridgeTestClient.h"

#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLockFile>
#include <QThread>

BridgeTestClient::BridgeTestClient(const TestEnvironment &environment)
    : address(serverAddress(environment))
{
}

QString BridgeTestClient::serverAddress(const TestEnvironment &environment)
{
    const QByteArray digest =
        QCryptographicHash::hash(environment.dataFolder().toUtf8(), QCryptographicHash::Sha256).toHex();
    return environment.runtimeDir() + QStringLiteral("/Rushlet-") + QString::fromLatin1(digest.left(24));
}

bool BridgeTestClient::waitForServer(const TestEnvironment &environment, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (exchange(environment, ping()).value(QStringLiteral("ok")).toBool())
            return true;
        QThread::msleep(50);
    }
    return false;
}

qint64 BridgeTestClient::lockOwner(const TestEnvironment &environment)
{
    QLockFile lock(environment.dataFolder() + QStringLiteral("/instance.lock"));
    qint64 pid = 0;
    QString host;
    QString application;
    return lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

QJsonObject BridgeTestClient::exchange(const TestEnvironment &environment, const QJsonObject &request)
{
    BridgeTestClient client(environment);
    if (!client.connect(5000) || !client.send(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n'))
        return {};
    return QJsonDocument::fromJson(client.readUntilClosed(20000).received).object();
}

QJsonObject BridgeTestClient::ping()
{
    return {{QStringLiteral("type"), QStringLiteral("ping")}};
}

QJsonObject BridgeTestClient::okReply()
{
    return {{QStringLiteral("ok"), true}};
}

QJsonObject BridgeTestClient::errorReply(const QString &text)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

bool BridgeTestClient::connect(int timeoutMs)
{
    sock.connectToServer(address);
    return sock.waitForConnected(timeoutMs);
}

bool BridgeTestClient::send(const QByteArray &bytes)
{
    if (sock.write(bytes) != bytes.size())
        return false;
    const QDeadlineTimer deadline(20000);
    while (sock.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !sock.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

BridgeTestClient::Outcome BridgeTestClient::readUntilClosed(int timeoutMs)
{
    Outcome outcome;
    const QDeadlineTimer deadline(timeoutMs);
    while (sock.state() != QLocalSocket::UnconnectedState && !deadline.hasExpired())
        sock.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 500)));
    outcome.received = sock.readAll();
    outcome.closedByServer = sock.state() == QLocalSocket::UnconnectedState;
    return outcome;
}
