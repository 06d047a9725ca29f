#pragma once

#include <QString>
#include <QUrl>

// Where this build asks for updates and what it trusts in the answer. The values are settings of
// the build; the feed's address can be pointed elsewhere for testing through the environment
// variable RUSHLET_UPDATE_FEED_URL.
namespace UpdateSource {

// The environment's address when it is acceptable (UpdateFeedRules::isAcceptableFeedAddress),
// otherwise the build's.
QUrl feedUrl();

// Download links must lie on this domain or one of its subdomains.
QString makerDomain();

// The feed lists one release per platform; this is the member naming this platform's.
QString feedMember();

// The version of this program, which a release must exceed to be offered.
QString currentVersion();

} // namespace UpdateSource
