#include "bridge/protocol/BridgeListener.h"

#include "bridge/protocol/BridgeServer.h"

#include <QLocalServer>

#include <algorithm>

namespace {

constexpr int checkIntervalMs = 1000;
constexpr int longestRetryDelayMs = 30000;

} // namespace

BridgeListener::BridgeListener(QLocalServer &server)
    : QObject(&server)
    , server(server)
    , retryDelayMs(checkIntervalMs)
{
    watch.setSingleShot(true);
    // A check each second costs nothing worth aligning to the millisecond.
    watch.setTimerType(Qt::VeryCoarseTimer);
    connect(&watch, &QTimer::timeout, this, &BridgeListener::check);
    connect(&server, &QLocalServer::newConnection, this, [this] { retryDelayMs = checkIntervalMs; });
}

bool BridgeListener::start()
{
    const bool listening = listenBridgeServer(server);
    watch.start(checkIntervalMs);
    return listening;
}

void BridgeListener::check()
{
    if (server.isListening()) {
        watch.start(checkIntervalMs);
        return;
    }
    // Whether or not this try works, a server that keeps closing is tried less and less often.
    listenBridgeServer(server);
    watch.start(retryDelayMs);
    retryDelayMs = std::min(retryDelayMs * 2, longestRetryDelayMs);
}
