#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A session bus of the test's own: a dbus-daemon that activates no services, started by the test
// and stopped by its process id. Qt connects to the session bus once and keeps that connection,
// so start() has to run before anything in the process asks for the bus; it points
// DBUS_SESSION_BUS_ADDRESS of this process at the private bus.
class SessionBus
{
public:
    SessionBus() = default;
    ~SessionBus();

    SessionBus(const SessionBus &) = delete;
    SessionBus &operator=(const SessionBus &) = delete;

    bool start();
    QString address() const { return busAddress; }

private:
    QTemporaryDir folder;
    QProcess daemon;
    QString busAddress;
};
