#include "app/RunningInstance.h"

#include "bridge/protocol/BridgeProtocol.h"
#include "platform/LocalSockets.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace RunningInstance {

bool requestShow(int timeoutMs)
{
    QLocalSocket socket;
    qint64 serverProcessId = 0;
    if (!BridgeProtocol::connectToBridge(socket, timeoutMs, &serverProcessId))
        return false;
    // The window that is about to show was not started by the user's latest action.
    LocalSockets::allowForeground(serverProcessId);
    // Once the instance took the connection the request is delivered; its reply is not needed.
    BridgeProtocol::writeAll(socket, BridgeProtocol::showRequest(), QDeadlineTimer(timeoutMs));
    return true;
}

bool answers(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    if (!BridgeProtocol::connectToBridge(socket, timeoutMs))
        return false;
    if (!BridgeProtocol::writeAll(
            socket, BridgeProtocol::encodeMessage({{QStringLiteral("type"), QStringLiteral("ping")}}),
            deadline))
        return false;
    const QJsonDocument document =
        QJsonDocument::fromJson(BridgeProtocol::readReplyLine(socket, deadline).trimmed());
    return document.isObject() && document.object().value(QStringLiteral("ok")).toBool();
}

} // namespace RunningInstance
