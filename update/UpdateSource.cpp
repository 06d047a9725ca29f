#include "update/UpdateSource.h"

#include "update/UpdateFeedRules.h"

namespace UpdateSource {

QUrl feedUrl()
{
    const QUrl override(qEnvironmentVariable("RUSHLET_UPDATE_FEED_URL"), QUrl::StrictMode);
    if (UpdateFeedRules::isAcceptableFeedAddress(override))
        return override;
    return QUrl(QStringLiteral(RUSHLET_BUILD_FEED_URL), QUrl::StrictMode);
}

QString makerDomain()
{
    return QStringLiteral(RUSHLET_MAKER_DOMAIN);
}

QString feedMember()
{
    return QStringLiteral(RUSHLET_FEED_MEMBER);
}

QString currentVersion()
{
    return QStringLiteral(RUSHLET_VERSION);
}

} // namespace UpdateSource
