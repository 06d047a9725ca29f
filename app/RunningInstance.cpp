#include "app/RunningInstance.h"

#include "bridge/BridgeProtocol.h"
#include "platform/LocalSockets.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace RunningInstance {

namespace {

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

} // namespace

bool requestShow(int timeoutMs)
{
    QLocalSocket socket;
    qint64 serverProcessId = 0;
    if (!BridgeProtocol::connectToBridge(socket, timeoutMs, &serverProcessId))
        return false;
    // The window that is about to show was not started by the user's latest action.
    LocalSockets::allowForeground(serverProcessId);
    // Once the instance took the connection the request is delivered; its reply is not needed.
    writeAll(socket, BridgeProtocol::showRequest(), QDeadlineTimer(timeoutMs));
    return true;
}

bool answers(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    if (!BridgeProtocol::connectToBridge(socket, timeoutMs))
        return false;
    if (!writeAll(socket, BridgeProtocol::encodeMessage({{QStringLiteral("type"), QStringLiteral("ping")}}),
                  deadline))
        return false;
    QByteArray reply;
    while (!reply.contains('\n') && reply.size() <= BridgeProtocol::maxMessageBytes) {
        if (socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))))
            break;
        reply += socket.readAll();
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply.trimmed());
    return document.isObject() && document.object().value(QStringLiteral("ok")).toBool();
}

} // namespace RunningInstance
