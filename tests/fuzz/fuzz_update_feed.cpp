// The update feed a server sends: a JSON document whose release member names a version, its notes
// and a download link. Input: the feed's body. Whatever passes must satisfy every rule on its own.

#include "tests/fuzz/FuzzSupport.h"
#include "update/UpdateFeedRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray body = fuzzBytes(data, size);
    const QString domain = QStringLiteral("example.com");
    UpdateFeed feed;
    if (!UpdateFeedRules::parseFeed(body, QStringLiteral("linux"), domain, &feed)) {
        FUZZ_REQUIRE(feed.version.isEmpty() && feed.changes.isEmpty() && feed.url.isEmpty());
        return 0;
    }
    FUZZ_REQUIRE(body.size() <= UpdateFeedRules::maxFeedBytes);
    FUZZ_REQUIRE(UpdateFeedRules::isValidVersion(feed.version));
    FUZZ_REQUIRE(UpdateFeedRules::isAllowedDownloadLink(feed.url, domain));
    FUZZ_REQUIRE(feed.url.scheme() == QLatin1String("https") && feed.url.userInfo().isEmpty());
    const QString host = feed.url.host();
    FUZZ_REQUIRE(host == domain || host.endsWith(QLatin1Char('.') + domain));
    // A version is never newer than itself, and of two different valid ones at most one is newer.
    FUZZ_REQUIRE(!UpdateFeedRules::isNewerVersion(feed.version, feed.version));
    const QString other = QStringLiteral("1.1.0");
    FUZZ_REQUIRE(!(UpdateFeedRules::isNewerVersion(feed.version, other) &&
                   UpdateFeedRules::isNewerVersion(other, feed.version)));
    return 0;
}
