#pragma once

#include "update/UpdateFeed.h"

#include <QByteArray>

// The rules an answer of the update server has to pass before anything of it is shown. They are
// strict on purpose: the feed decides which link the user is offered to install software from.
namespace UpdateFeedRules {

// The largest feed body accepted, in bytes.
constexpr qint64 maxFeedBytes = 262144;

// Two to four dot-separated decimal numbers, shorter than 40 characters ("1.2.0").
bool isValidVersion(const QString &version);

// Whether `candidate` is strictly greater than `current`, compared number by number; when the
// common numbers are equal the longer version is the greater (1.1.0.0 > 1.1.0). False unless both
// are valid versions.
bool isNewerVersion(const QString &candidate, const QString &current);

// An https link without user information whose host is `makerDomain` or one of its subdomains.
bool isAllowedDownloadLink(const QUrl &link, const QString &makerDomain);

// Where a feed may be fetched from when the build's address is overridden for testing: any https
// address, or plain http on this machine only.
bool isAcceptableFeedAddress(const QUrl &address);

// Reads the release listed under `member` ("linux", "win") from a feed body. False, with `feed`
// cleared, when the body breaks any rule; it never fails in another way, whatever the bytes.
bool parseFeed(const QByteArray &body, const QString &member, const QString &makerDomain, UpdateFeed *feed);

} // namespace UpdateFeedRules
