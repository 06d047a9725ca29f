#include "engine/AddressChangeRules.h"

namespace AddressChangeRules {

namespace {

Outcome refused(const QString &reason, const QStringList &arguments = {})
{
    return {Verdict::Refused, reason, arguments};
}

} // namespace

Outcome judge(const ResumeCheckpoint::Contents *stored, qint64 partSize, int status,
              const DownloadRules::ProbeResult &probed)
{
    using ProbeVerdict = DownloadRules::ProbeResult::Verdict;
    switch (probed.verdict) {
    case ProbeVerdict::Encoded:
        return refused(QStringLiteral("The new address answered with an encoded response; byte offsets "
                                      "into it are unsafe. The address was not changed."));
    case ProbeVerdict::InvalidRange:
        return refused(QStringLiteral("The new address returned an invalid byte range. The address was not "
                                      "changed."));
    case ProbeVerdict::Refused:
        return refused(QStringLiteral("The new address returned HTTP %1. The address was not changed."),
                       {QString::number(status)});
    case ProbeVerdict::Accepted:
        break;
    }
    if (!stored)
        return {Verdict::Continue, {}, {}};
    // The very test the engine applies when it resumes: what passes here, the engine continues.
    if (!ResumeCheckpoint::restorableSegments(*stored, probed.total, probed.rangeSupported, probed.etag,
                                              probed.lastModified, partSize)
             .isEmpty())
        return {Verdict::Continue, {}, {}};
    if (probed.total >= 0 && stored->total >= 0 && probed.total != stored->total)
        return refused(QStringLiteral("The file at the new address has another size: %1 bytes, where the "
                                      "download has %2. The address was not changed."),
                       {QString::number(probed.total), QString::number(stored->total)});
    if (!probed.etag.isEmpty() && !stored->etag.isEmpty() && probed.etag != stored->etag)
        return refused(QStringLiteral("The file at the new address is another version: its ETag differs "
                                      "from the one the download began with. The address was not changed."));
    if (probed.etag.isEmpty() && stored->etag.isEmpty() && !probed.lastModified.isEmpty() &&
        !stored->lastModified.isEmpty() && probed.lastModified != stored->lastModified)
        return refused(QStringLiteral("The file at the new address is another version: it was last modified "
                                      "at another time than the one the download began with. The address "
                                      "was not changed."));
    if (!probed.rangeSupported)
        return {Verdict::RestartFromZero,
                QStringLiteral("The new address does not serve parts of the file, so the download cannot go "
                               "on where it stopped."),
                {}};
    return {Verdict::RestartFromZero,
            QStringLiteral("Nothing shows that the new address serves the same file: the two addresses share "
                           "no ETag or Last-Modified date to compare."),
            {}};
}

} // namespace AddressChangeRules
