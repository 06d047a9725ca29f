#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QLocalSocket>
#include <QString>

class TestEnvironment;

// A client of the local bridge of a Rushlet started with a test's environment. It finds the
// server the way the programs do, from the data folder and the runtime folder of that
// environment, so a test also notices when the programs stop agreeing on the name.
class BridgeTestClient
{
public:
    explicit BridgeTestClient(const TestEnvironment &environment);

    static QString serverAddress(const TestEnvironment &environment);
    // True once the instance of `environment` answers a ping within the limit.
    static bool waitForServer(const TestEnvironment &environment, int timeoutMs);
    // The process id written into the instance lock, or 0 when nobody holds it.
    static qint64 lockOwner(const TestEnvironment &environment);
    // One request on a connection of its own; the parsed reply, or an empty object.
    static QJsonObject exchange(const TestEnvironment &environment, const QJsonObject &request);

    // The request and the replies every bridge test speaks of, written out as the peer sees them.
    static QJsonObject ping();
    static QJsonObject okReply();
    static QJsonObject errorReply(const QString &text);

    bool connect(int timeoutMs = 10000);
    // Writes all bytes; false when the server went away first.
    bool send(const QByteArray &bytes);

    struct Outcome
    {
        QByteArray received;
        bool closedByServer = false;
    };
    // Collects what the server sends until it closes the connection or the time is up.
    Outcome readUntilClosed(int timeoutMs);

    QLocalSocket &socket() { return sock; }

private:
    QString address;
    QLocalSocket sock;
};
