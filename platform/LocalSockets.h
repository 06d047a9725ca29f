#pragma once

#include <QString>

class QLocalSocket;

// Where the per-user local server lives, and who is at the other end of a local connection.
namespace LocalSockets {

// The address a server listens on and its clients connect to for `serverName`: a path inside the
// user's private runtime folder, so that no other local user can claim the name first. Empty when
// no such address fits the system's limits; listening and connecting then fail.
QString serverAddress(const QString &serverName);

// True when the process at the other end of `socket` runs as the current user. Its process id is
// stored in `peerProcessId` when given.
bool peerIsCurrentUser(const QLocalSocket &socket, qint64 *peerProcessId = nullptr);

// Lets the process `processId` bring its windows to the front, which a process started in the
// background may otherwise not do.
void allowForeground(qint64 processId);

} // namespace LocalSockets
