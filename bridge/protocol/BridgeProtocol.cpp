#include "bridge/protocol/BridgeProtocol.h"

#include "engine/RequestContextRules.h"
#include "platform/LocalSockets.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace BridgeProtocol {

namespace {

// A peer that closes while we wait is noticed at the next slice at the latest.
constexpr int readSliceMs = 500;

} // namespace

QString bridgeServerName()
{
    return bridgeServerNameFor(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

QString bridgeServerNameFor(const QString &dataFolder)
{
    const QByteArray digest =
        QCryptographicHash::hash(dataFolder.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("Rushlet-") + QString::fromLatin1(digest.left(24));
}

QString bridgeServerAddress()
{
    return LocalSockets::serverAddress(bridgeServerName());
}

QByteArray encodeMessage(const QJsonObject &message)
{
    return QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray showRequest()
{
    return encodeMessage(QJsonObject{{QStringLiteral("type"), QStringLiteral("show")}});
}

QJsonObject errorReply(const QString &message)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), message}};
}

namespace {

bool hasValidId(const QJsonObject &request)
{
    // Anchored at the very end: "$" alone would also accept an id followed by a line feed.
    static const QRegularExpression idPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-zA-Z0-9-]{1,100}")));
    return idPattern.match(request.value(QStringLiteral("id")).toString()).hasMatch();
}

} // namespace

bool isValidDownloadRequest(const QJsonObject &request)
{
    if (request.value(QStringLiteral("type")) != QJsonValue(QStringLiteral("download")))
        return false;
    return RequestContextRules::isWebLink(request.value(QStringLiteral("url"))) && hasValidId(request) &&
           RequestContextRules::read(request, RequestContextRules::Numbers::Json, nullptr);
}

bool isValidStatusRequest(const QJsonObject &request)
{
    return request.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("status")) &&
           hasValidId(request);
}

bool connectToBridge(QLocalSocket &socket, int timeoutMs, qint64 *serverProcessId)
{
    const QString address = bridgeServerAddress();
    if (address.isEmpty())
        return false;
    socket.connectToServer(address, QIODevice::ReadWrite);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    if (!LocalSockets::peerIsCurrentUser(socket, serverProcessId)) {
        socket.abort();
        return false;
    }
    return true;
}

bool writeAll(QLocalSocket &socket, const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0) {
        if (deadline.hasExpired() || !socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    return true;
}

QByteArray readReplyLine(QLocalSocket &socket, const QDeadlineTimer &deadline)
{
    QByteArray buffer;
    while (!buffer.contains('\n')) {
        if (buffer.size() >= maxMessageBytes || deadline.hasExpired())
            break;
        if (socket.bytesAvailable() > 0 ||
            socket.waitForReadyRead(int(qMin<qint64>(readSliceMs, deadline.remainingTime()))))
            buffer += socket.read(maxMessageBytes - buffer.size());
        else if (socket.state() == QLocalSocket::UnconnectedState)
            break;
    }
    return buffer;
}

} // namespace BridgeProtocol
