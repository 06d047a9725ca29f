#include "tests/support/DesktopStandIns.h"

#include <QDBusConnection>

#include <poll.h>
#include <unistd.h>

void StandInFileManager::ShowItems(const QStringList &uris, const QString &)
{
    if (refuse)
        sendErrorReply(QDBusError::Failed, QStringLiteral("No window could be opened."));
    else
        shown += uris;
}

uint StandInNotifications::Notify(const QString &app, uint replaces, const QString &icon,
                                  const QString &summary, const QString &body, const QStringList &actions,
                                  const QVariantMap &hints, int)
{
    const uint id = replaces != 0 ? replaces : ++lastId;
    notices.append({id, app, replaces, icon, summary, body, actions, hints});
    return id;
}

QStringList StandInNotifications::GetCapabilities() const
{
    return {QStringLiteral("actions"), QStringLiteral("body")};
}

StandInLogin::~StandInLogin()
{
    for (const int end : std::as_const(readingEnds))
        ::close(end);
}

int StandInLogin::held()
{
    int open = 0;
    for (const int end : std::as_const(readingEnds)) {
        pollfd watched{end, POLLIN, 0};
        // Once every copy of the writing end is closed the reading end hangs up.
        if (::poll(&watched, 1, 0) == 0)
            ++open;
    }
    return open;
}

QDBusUnixFileDescriptor StandInLogin::Inhibit(const QString &what, const QString &who, const QString &why,
                                              const QString &mode)
{
    requests << QStringList{what, who, why, mode}.join(QLatin1Char(','));
    int ends[2];
    if (::pipe(ends) != 0)
        return {};
    readingEnds << ends[0];
    // The descriptor object keeps a copy of its own.
    QDBusUnixFileDescriptor handed(ends[1]);
    ::close(ends[1]);
    return handed;
}

// One inhibition handed out by the portal, closed by its holder.
class StandInPortalRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    explicit StandInPortalRequest(StandInPortal *portal)
        : QObject(portal)
        , portal(portal)
    {
    }

public slots:
    void Close()
    {
        --portal->open;
        deleteLater();
    }

private:
    StandInPortal *portal;
};

StandInPortal::StandInPortal(const QString &connection)
    : connectionName(connection)
{
}

QDBusObjectPath StandInPortal::Inhibit(const QString &, uint flags, const QVariantMap &)
{
    requests << flags;
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1").arg(requests.size());
    auto *request = new StandInPortalRequest(this);
    QDBusConnection(connectionName).registerObject(path, request, QDBusConnection::ExportAllSlots);
    ++open;
    return QDBusObjectPath(path);
}

#include "DesktopStandIns.moc"
