// The resume checkpoint beside a partial file: whether it is recognised as this download's, and which
// of its ranges may be resumed. A restorable plan always covers the resource exactly and claims no
// byte the partial file lacks; whatever is recognised is written and read back unchanged.

#include "engine/ResumeCheckpoint.h"
#include "tests/fuzz/FuzzSupport.h"

#include <limits>

namespace {

const QUrl &downloadUrl()
{
    static const QUrl url(QStringLiteral("http://127.0.0.1:8080/files/file.bin?x=1"));
    return url;
}

const QString &downloadDestination()
{
    static const QString destination = QStringLiteral("/home/user/Downloads/file.bin");
    return destination;
}

void requireSound(const QList<SegmentProgress> &plan, qint64 total, qint64 partSize)
{
    if (plan.isEmpty())
        return;
    FUZZ_REQUIRE(plan.size() <= 16);
    qint64 next = 0;
    for (const SegmentProgress &segment : plan) {
        FUZZ_REQUIRE(segment.start == next);
        FUZZ_REQUIRE(segment.end >= segment.start && segment.end < total);
        FUZZ_REQUIRE(segment.received >= 0 && segment.received <= segment.end - segment.start + 1);
        FUZZ_REQUIRE(segment.received == 0 || segment.start + segment.received <= partSize);
        next = segment.end + 1;
    }
    FUZZ_REQUIRE(next == total);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ResumeCheckpoint::Contents stored;
    if (!ResumeCheckpoint::read(fuzzBytes(data, size), downloadUrl(), downloadDestination(), &stored))
        return 0;

    ResumeCheckpoint::Contents again;
    FUZZ_REQUIRE(ResumeCheckpoint::read(ResumeCheckpoint::toJson(stored), downloadUrl(),
                                        downloadDestination(), &again));
    FUZZ_REQUIRE(again.total == stored.total);
    FUZZ_REQUIRE(again.etag == stored.etag);
    FUZZ_REQUIRE(again.lastModified == stored.lastModified);
    FUZZ_REQUIRE(again.segments == stored.segments);

    // The probe confirms the stored version; the partial file is of several sizes.
    const qint64 total = stored.total;
    for (const qint64 partSize : {qint64(0), total / 2, total, std::numeric_limits<qint64>::max()}) {
        requireSound(ResumeCheckpoint::restorableSegments(stored, total, true, stored.etag,
                                                          stored.lastModified, partSize),
                     total, partSize);
    }
    // Without range support, or with another version, nothing is restored.
    FUZZ_REQUIRE(ResumeCheckpoint::restorableSegments(stored, total, false, stored.etag, stored.lastModified,
                                                      std::numeric_limits<qint64>::max())
                     .isEmpty());
    FUZZ_REQUIRE(
        ResumeCheckpoint::restorableSegments(stored, total, true, {}, {}, std::numeric_limits<qint64>::max())
            .isEmpty());
    return 0;
}
