#pragma once

#include <QJsonObject>

#include <functional>

class QLocalServer;

// Turns one request object into its reply. It runs on the server's thread inside the read
// handling, so it must answer without waiting for the user.
using BridgeRequestHandler = std::function<QJsonObject(const QJsonObject &request)>;

// Serves the bridge on `server`: each connection carries one request line and gets at most one
// reply line, then ends. A connection that sends more than the limit before its line feed, or
// that is still open after 15 seconds, is dropped without a reply. Only the current user may
// connect.
void installBridgeServer(QLocalServer &server, const BridgeRequestHandler &handler);

// Listens on the bridge's address, taking over a server file that a crashed instance left behind.
// Call it only while holding the instance lock: a live server of the same name is replaced too.
bool listenBridgeServer(QLocalServer &server);
