#include "queue/view/TransferExtras.h"

#include "engine/ChecksumRules.h"
#include "engine/DownloadStatus.h"
#include "engine/SpeedLimitRules.h"

namespace TransferExtras {

QString formatLimit(qint64 bytesPerSecond)
{
    // rateText picks the largest unit that writes the rate exactly with at most one decimal.
    const QString exact = SpeedLimitRules::rateText(bytesPerSecond);
    const QChar unit = exact.back();
    if (unit.isDigit())
        return DisplayFormat::formatSize(bytesPerSecond, DisplayFormat::untranslated) + QStringLiteral("/s");
    return exact.chopped(1) + QLatin1Char(' ') + unit + QStringLiteral("B/s");
}

QString limitText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate)
{
    if (snapshot.speedLimit <= 0)
        return translate(QStringLiteral("Unlimited"));
    return formatLimit(snapshot.speedLimit);
}

QString checksumText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate)
{
    ChecksumRules::Checksum checksum;
    QString problem;
    if (snapshot.checksum.isEmpty())
        return translate(QStringLiteral("None"));
    if (!ChecksumRules::parse(snapshot.checksum, &checksum, &problem))
        return snapshot.checksum;
    const QString value =
        ChecksumRules::displayName(checksum.algorithm) + QLatin1Char(' ') + QLatin1String(checksum.hex);
    if (snapshot.status == DownloadStatus::Completed)
        return translate(QStringLiteral("%1 (verified)")).arg(value);
    return translate(QStringLiteral("%1 (checked when the download completes)")).arg(value);
}

QString verifyingText(const DownloadSnapshot &snapshot, DisplayFormat::Translate translate)
{
    const int percent = snapshot.total > 0 ? int(snapshot.verified * 100 / snapshot.total) : 0;
    return translate(QStringLiteral("Checking the file against its checksum  ·  %1%")).arg(percent);
}

} // namespace TransferExtras
