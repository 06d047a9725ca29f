#include "tests/support/DesktopStandIns.h"

void StandInFileManager::ShowItems(const QStringList &uris, const QString &)
{
    if (refuse)
        sendErrorReply(QDBusError::Failed, QStringLiteral("No window could be opened."));
    else
        shown += uris;
}
