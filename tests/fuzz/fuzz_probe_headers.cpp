// The headers an HTTP server answers the probe with, and Content-Range, which every range's answer
// is checked by. Input: the status in decimal, then Content-Range, Content-Length, Content-Encoding,
// ETag and Last-Modified, one per line, then a connection count.

#include "engine/DownloadRules.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QList>

namespace {

using DownloadRules::ProbeResult;

void requireSoundRange(const DownloadRules::ContentRange &range)
{
    if (range == DownloadRules::ContentRange{})
        return;
    FUZZ_REQUIRE(range.start >= 0 && range.start <= range.end && range.end < range.total);
}

void requireSoundPlan(qint64 total, bool rangeSupported, int connections)
{
    const QList<Segment> plan = DownloadRules::planSegments(total, rangeSupported, connections);
    FUZZ_REQUIRE(!plan.isEmpty());
    if (total <= 0 || !rangeSupported) {
        FUZZ_REQUIRE(plan.size() == 1 && plan.first().start == 0 && plan.first().end == total - 1);
        return;
    }
    FUZZ_REQUIRE(plan.size() <= connections);
    qint64 next = 0;
    for (const Segment &segment : plan) {
        FUZZ_REQUIRE(segment.start == next && segment.end >= segment.start && segment.received == 0);
        next = segment.end + 1;
    }
    FUZZ_REQUIRE(next == total);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QList<QByteArray> lines = fuzzBytes(data, size).split('\n');
    DownloadRules::ProbeAnswer answer;
    answer.status = lines.value(0).toInt();
    answer.contentRange = lines.value(1);
    answer.contentLength = lines.value(2);
    answer.contentEncoding = lines.value(3);
    answer.etag = lines.value(4);
    answer.lastModified = lines.value(5);
    // The engine clamps its connections to 1..16 before it plans.
    const int connections = qBound(1, lines.value(6).toInt(), 16);

    for (const QByteArray &line : lines)
        requireSoundRange(DownloadRules::parseContentRange(line));
    FUZZ_REQUIRE(DownloadRules::parseContentLength(answer.contentLength) >= -1);

    const ProbeResult result = DownloadRules::readProbeAnswer(answer);
    if (result.verdict != ProbeResult::Verdict::Accepted) {
        FUZZ_REQUIRE(result.total == -1 && !result.rangeSupported);
        return 0;
    }
    FUZZ_REQUIRE(answer.status == 200 || answer.status == 206 || answer.status == 416);
    FUZZ_REQUIRE(DownloadRules::isIdentityEncoding(answer.contentEncoding) || answer.status == 416);
    FUZZ_REQUIRE(result.total >= -1);
    FUZZ_REQUIRE(!result.rangeSupported || (answer.status == 206 && result.total > 0));
    // Only a strong ETag guards a resume, and it is the one the server sent.
    FUZZ_REQUIRE(result.etag.isEmpty() || result.etag == result.versionTag);
    FUZZ_REQUIRE(!result.etag.startsWith("W/"));
    requireSoundPlan(result.total, result.rangeSupported, connections);
    return 0;
}
