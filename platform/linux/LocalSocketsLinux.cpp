#include "platform/LocalSockets.h"

#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace LocalSockets {

QString serverAddress(const QString &serverName)
{
    // Qt makes sure the runtime folder belongs to the user and is closed to everyone else.
    const QString runtimeFolder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeFolder.isEmpty() || serverName.isEmpty())
        return {};
    const QString address = runtimeFolder + QLatin1Char('/') + serverName;
    // A longer path would be cut short by the kernel and name another file.
    if (QFile::encodeName(address).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return {};
    return address;
}

bool peerIsCurrentUser(const QLocalSocket &socket, qint64 *peerProcessId)
{
    const qintptr descriptor = socket.socketDescriptor();
    if (descriptor < 0)
        return false;
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof(credentials))
        return false;
    if (credentials.uid != ::getuid())
        return false;
    if (peerProcessId)
        *peerProcessId = credentials.pid;
    return true;
}

void allowForeground(qint64)
{
    // X11 and Wayland leave focus to the window manager; there is no permission to hand over.
}

} // namespace LocalSockets
