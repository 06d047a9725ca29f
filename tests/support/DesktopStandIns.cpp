#include "tests/support/DesktopStandIns.h"

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
    const uint id = replaces != 0 ? replaces : uint(notices.size()) + 1;
    const QStringList fields = {app,
                                icon,
                                summary,
                                body,
                                hints.value(QStringLiteral("category")).toString(),
                                hints.value(QStringLiteral("desktop-entry")).toString(),
                                actions.join(QLatin1Char(','))};
    notices.append({id, replaces, fields.join(QLatin1Char('|'))});
    return id;
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
