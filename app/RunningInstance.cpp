#include "app/RunningInstance.h"

#include "bridge/protocol/BridgeProtocol.h"
#include "platform/LocalSockets.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace RunningInstance {

namespace {

constexpr int retryPauseMs = 20;

} // namespace

bool requestShow(int timeoutMs)
{
    // A first instance that took the lock a moment ago is still building its window and does not
    // listen yet: the hand-over is tried again until it does, within the time given.
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    qint64 serverProcessId = 0;
    while (!BridgeProtocol::connectToBridge(socket, int(deadline.remainingTime()), &serverProcessId)) {
        if (deadline.hasExpired())
            return false;
        socket.abort();
        QThread::msleep(std::min<qint64>(retryPauseMs, deadline.remainingTime()));
    }
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
