// queue.json as the list reads it at start-up: the document's rules, the skips and clamps, and the
// repair against the disk. Whatever is accepted is saved and read again unchanged, except that a
// running download comes back paused.

#include "engine/DownloadStatus.h"
#include "engine/RequestContextRules.h"
#include "queue/list/QueueRules.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QDir>
#include <QSet>

namespace {

void requireAcceptable(const QList<DownloadSnapshot> &snapshots)
{
    QSet<QString> ids;
    QSet<QString> destinations;
    for (const DownloadSnapshot &snapshot : snapshots) {
        FUZZ_REQUIRE(!snapshot.id.isEmpty() && !ids.contains(snapshot.id));
        FUZZ_REQUIRE(!snapshot.destination.isEmpty() && !QDir::isRelativePath(snapshot.destination));
        const QString destination = QueueRules::destinationKey(snapshot.destination);
        FUZZ_REQUIRE(!destinations.contains(destination));
        FUZZ_REQUIRE(snapshot.connections >= 1 && snapshot.connections <= 16);
        FUZZ_REQUIRE(snapshot.segments.size() <= QueueRules::maxSegments);
        ids.insert(snapshot.id);
        destinations.insert(destination);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QueueRules::QueueReadResult read = QueueRules::readQueue(fuzzBytes(data, size));
    if (!read.readable) {
        FUZZ_REQUIRE(read.snapshots.isEmpty());
        return 0;
    }
    requireAcceptable(read.snapshots);

    const QueueRules::QueueReadResult again = QueueRules::readQueue(QueueRules::writeQueue(read.snapshots));
    FUZZ_REQUIRE(again.readable);
    FUZZ_REQUIRE(again.snapshots.size() == read.snapshots.size());
    for (qsizetype i = 0; i < read.snapshots.size(); ++i) {
        const DownloadSnapshot &first = read.snapshots.at(i);
        const DownloadSnapshot &second = again.snapshots.at(i);
        FUZZ_REQUIRE(second.id == first.id);
        // A URL is known by its encoded form, as the checkpoint beside the file knows it: a "#" in a
        // fragment comes back as "%23". An invalid URL has no saved form; it fails to start either way.
        FUZZ_REQUIRE(second.url.toEncoded() == first.url.toEncoded() || !first.url.isValid());
        FUZZ_REQUIRE(second.destination == first.destination);
        FUZZ_REQUIRE(second.connections == first.connections);
        FUZZ_REQUIRE(second.status ==
                     (QueueRules::isActiveStatus(first.status) ? DownloadStatus::Paused : first.status));
        FUZZ_REQUIRE(second.error == first.error);
        FUZZ_REQUIRE(second.total == first.total && second.received == first.received);
        FUZZ_REQUIRE(second.resumable == first.resumable);
        FUZZ_REQUIRE(second.segments == first.segments);
        // The browser's session comes back as it was, except that a completed download drops it.
        FUZZ_REQUIRE(RequestContextRules::toJson(second.context) ==
                     (first.status == DownloadStatus::Completed
                          ? QJsonObject()
                          : RequestContextRules::toJson(first.context)));
        // Nothing resumes by itself after a start.
        FUZZ_REQUIRE(!QueueRules::isActiveStatus(QueueRules::repairAgainstDisk(first).status));
    }
    return 0;
}
