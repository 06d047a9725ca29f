#include "bridge/protocol/BridgeServer.h"

#include "bridge/protocol/BridgeProtocol.h"
#include "platform/LocalSockets.h"

#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <memory>

namespace {

// The longest request line with its line feed. The limit is on the line alone, so that every
// message the native host accepts from the browser also passes here.
constexpr qint64 requestBytes = BridgeProtocol::maxMessageBytes + 1;
constexpr int connectionLifetimeMs = 15000;

struct Connection
{
    QLocalSocket *socket = nullptr;
    QByteArray buffer;
    bool handled = false;
    BridgeRequestHandler handler;
};

void readRequest(Connection &connection)
{
    if (connection.handled)
        return;
    // Once this much has arrived the request is either complete or too long; either way nothing
    // after it is needed.
    connection.buffer += connection.socket->read(requestBytes - connection.buffer.size());
    const qsizetype lineEnd = connection.buffer.indexOf('\n');
    if (lineEnd < 0) {
        if (connection.buffer.size() == requestBytes) {
            connection.handled = true;
            connection.socket->abort();
        }
        return;
    }
    connection.handled = true;
    const QJsonDocument document = QJsonDocument::fromJson(connection.buffer.left(lineEnd));
    const QJsonObject reply = document.isObject() ? connection.handler(document.object())
                                                  : QJsonObject{{QStringLiteral("ok"), false}};
    connection.buffer.clear();
    connection.socket->write(BridgeProtocol::encodeMessage(reply));
    connection.socket->flush();
    // Pending bytes are written before the connection closes.
    connection.socket->disconnectFromServer();
}

void acceptConnection(QLocalSocket *socket, const BridgeRequestHandler &handler)
{
    if (!LocalSockets::peerIsCurrentUser(*socket)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->setReadBufferSize(requestBytes);
    auto connection = std::make_shared<Connection>();
    connection->socket = socket;
    connection->handler = handler;
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);

    // Owned by the socket, so it can never fire on a socket that is gone.
    auto *lifetime = new QTimer(socket);
    lifetime->setSingleShot(true);
    QObject::connect(lifetime, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    lifetime->start(connectionLifetimeMs);

    // The connection record lives exactly as long as this connection of the socket.
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [connection] { readRequest(*connection); });
    if (socket->bytesAvailable() > 0)
        readRequest(*connection);
}

} // namespace

void installBridgeServer(QLocalServer &server, const BridgeRequestHandler &handler)
{
    server.setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&server, handler] {
        while (QLocalSocket *socket = server.nextPendingConnection())
            acceptConnection(socket, handler);
    });
}

bool listenBridgeServer(QLocalServer &server)
{
    const QString address = BridgeProtocol::bridgeServerAddress();
    if (address.isEmpty())
        return false;
    QLocalServer::removeServer(address);
    return server.listen(address);
}
