#include "queue/view/DisplayFormat.h"

#include "engine/DownloadStatus.h"
#include "engine/SizeText.h"
#include "queue/view/TransferExtras.h"

#include <cmath>

namespace DisplayFormat {

namespace {

const QString unknownMark = QStringLiteral("—");

// Anything longer reads as "it will not finish at this speed"; the cap also keeps the
// conversion from a double to a whole number defined for absurd speeds.
constexpr double longestRemainingSeconds = 100.0 * 365 * 24 * 3600;

// Numbers are written with a dot and without group separators whatever the locale, the way
// the program's size texts are defined.
QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

QString untranslated(const QString &english)
{
    return english;
}

QString fileName(const QString &destination)
{
    return destination.mid(destination.lastIndexOf(QLatin1Char('/')) + 1);
}

QString formatSize(qint64 bytes, Translate translate)
{
    if (bytes < 0)
        return translate(QStringLiteral("Unknown"));
    return SizeText::written(bytes);
}

QString formatSpeed(double bytesPerSecond, Translate translate)
{
    if (!(bytesPerSecond > 0))
        return unknownMark;
    return formatSize(qint64(std::min(bytesPerSecond, 9.0e18)), translate) + QStringLiteral("/s");
}

QString formatTotalSpeed(double bytesPerSecond)
{
    const double speed = bytesPerSecond > 0 ? std::min(bytesPerSecond, 9.0e18) : 0.0;
    return QStringLiteral("↓ %1/s").arg(formatSize(qint64(speed), untranslated));
}

int tablePercent(const DownloadSnapshot &snapshot)
{
    if (snapshot.status == DownloadStatus::Completed)
        return 100;
    if (snapshot.total < 1)
        return -1;
    return int(std::clamp(double(snapshot.received) * 100.0 / double(snapshot.total), 0.0, 100.0));
}

QString percentLabel(int percent)
{
    return percent < 0 ? unknownMark : QStringLiteral("%1%").arg(percent);
}

QString percentAccessibleText(int percent, Translate translate)
{
    if (percent < 0)
        return translate(QStringLiteral("Unknown progress"));
    return translate(QStringLiteral("%1 percent")).arg(percent);
}

QString detailedPercent(const DownloadSnapshot &snapshot)
{
    if (snapshot.status == DownloadStatus::Completed)
        return QStringLiteral("100%");
    if (snapshot.total < 1)
        return unknownMark;
    const double percent = double(snapshot.received) * 100.0 / double(snapshot.total);
    return QStringLiteral("%1%").arg(fixed(percent, 1));
}

qint64 remainingSeconds(const DownloadSnapshot &snapshot)
{
    if (!(snapshot.speed > 0) || snapshot.total < 0)
        return -1;
    const qint64 left = std::max<qint64>(0, snapshot.total - snapshot.received);
    const double seconds = std::ceil(double(left) / snapshot.speed);
    if (!(seconds <= longestRemainingSeconds))
        return -1;
    return qint64(seconds);
}

QString formatRemaining(const DownloadSnapshot &snapshot, Translate translate)
{
    const qint64 seconds = remainingSeconds(snapshot);
    if (seconds < 0)
        return unknownMark;
    if (seconds >= 3600)
        return translate(QStringLiteral("%1h %2m")).arg(seconds / 3600).arg(seconds % 3600 / 60);
    if (seconds < 60)
        return translate(QStringLiteral("%1 sec")).arg(seconds);
    return translate(QStringLiteral("%1m %2s")).arg(seconds / 60).arg(seconds % 60);
}

qsizetype connectionCount(const DownloadSnapshot &snapshot)
{
    return snapshot.segments.isEmpty() ? snapshot.connections : snapshot.segments.size();
}

QString resumeSupportText(const DownloadSnapshot &snapshot, Translate translate)
{
    if (snapshot.segments.isEmpty())
        return translate(QStringLiteral("Resume support: not checked"));
    if (snapshot.resumable)
        return translate(QStringLiteral("Resume supported"));
    return translate(QStringLiteral("Resume unavailable · restarts after pausing"));
}

QString activityText(const DownloadSnapshot &snapshot, Translate translate)
{
    const QString &status = snapshot.status;
    if (status == DownloadStatus::Retrying)
        return translate(QStringLiteral("Waiting to reconnect. Pause to cancel automatic retry."));
    if (status == DownloadStatus::Downloading || status == DownloadStatus::Connecting) {
        return translate(QStringLiteral("Speed  %1/s     ·     Remaining  %2"))
            .arg(formatSize(qint64(std::clamp(snapshot.speed, 0.0, 9.0e18)), translate),
                 formatRemaining(snapshot, translate));
    }
    if (status == DownloadStatus::Paused) {
        if (snapshot.resumable)
            return translate(QStringLiteral("Paused — your downloaded progress is saved."));
        if (!snapshot.segments.isEmpty())
            return translate(QStringLiteral("Paused — this server requires restarting the download."));
        return translate(QStringLiteral("Ready to reconnect and check resume support."));
    }
    if (status == DownloadStatus::Verifying)
        return TransferExtras::verifyingText(snapshot, translate);
    if (status == DownloadStatus::Completed)
        return translate(QStringLiteral("Download complete. Your file is ready."));
    if (status == DownloadStatus::Queued)
        return translate(QStringLiteral("Ready to start when you are."));
    return {};
}

QString progressText(const DownloadSnapshot &snapshot, Translate translate)
{
    return translate(QStringLiteral("%1 / %2 downloaded"))
        .arg(formatSize(snapshot.received, translate), formatSize(snapshot.total, translate));
}

int segmentPermille(const SegmentProgress &segment)
{
    const qint64 length = segment.end - segment.start + 1;
    if (length <= 0)
        return 0;
    return int(std::clamp(double(segment.received) / double(length) * 1000.0, 0.0, 1000.0));
}

QString segmentToolTip(const SegmentProgress &segment, Translate translate)
{
    return translate(QStringLiteral("%1 of %2"))
        .arg(formatSize(segment.received, translate), formatSize(segment.end - segment.start + 1, translate));
}

} // namespace DisplayFormat
