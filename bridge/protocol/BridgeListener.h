#pragma once

#include <QObject>
#include <QTimer>

class QLocalServer;

// Keeps the bridge server listening for as long as the program lives. Qt closes a local server
// for good, and removes its socket, when accepting a connection fails, as it does once the process
// has run out of descriptors; nothing would ever reach the program again. The listener notices
// within a second and listens again, waiting twice as long after each time it found the server
// closed, up to half a minute, until a connection is accepted again.
class BridgeListener : public QObject
{
    Q_OBJECT

public:
    explicit BridgeListener(QLocalServer &server);

    // Listens on the bridge's address now and keeps it so; false when this first try failed.
    bool start();

private:
    void check();

    QLocalServer &server;
    QTimer watch;
    int retryDelayMs;
};
