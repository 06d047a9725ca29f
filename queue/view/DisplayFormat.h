#pragma once

#include "engine/DownloadSnapshot.h"

#include <QString>

// The one way the program writes sizes, speeds, percentages and remaining times, and the
// sentences the details pane builds from a download's state. Texts that a person reads in their
// language go through `translate`, which receives the English text (the key of the translation
// table) before any argument is filled in.
namespace DisplayFormat {

using Translate = QString (*)(const QString &english);

// Leaves the English text as it is; for callers that show no translated text.
QString untranslated(const QString &english);

// The file name part of a destination path.
QString fileName(const QString &destination);

// "Unknown" below zero; otherwise the largest unit up to TB that keeps the number under 1024,
// bytes without decimals and every larger unit with one: 1023 B, 1.0 KB, 1.5 KB.
QString formatSize(qint64 bytes, Translate translate);

// A speed in the Speed column: the size of one second's worth followed by "/s", or "—" when
// nothing moves.
QString formatSpeed(double bytesPerSecond, Translate translate);

// The total of the status bar: "↓ " and the size per second, also when it is zero.
QString formatTotalSpeed(double bytesPerSecond);

// The whole percent the table's progress bar shows: 100 once "Completed", -1 while the size is
// unknown, otherwise received × 100 ÷ total truncated.
int tablePercent(const DownloadSnapshot &snapshot);

// What the progress bar writes beside itself: "42%", or "—" for an unknown percent.
QString percentLabel(int percent);

// What a screen reader says for the progress cell.
QString percentAccessibleText(int percent, Translate translate);

// The details pane's percent with one decimal ("42.5%"), "100%" once "Completed", "—" while the
// size is unknown.
QString detailedPercent(const DownloadSnapshot &snapshot);

// Whole seconds until the download ends at its current speed, rounded up; -1 when that cannot be
// known (no speed, unknown size, or a time beyond any sensible display).
qint64 remainingSeconds(const DownloadSnapshot &snapshot);

// "1h 5m", "2m 7s", "45 sec", or "—" when the time cannot be known.
QString formatRemaining(const DownloadSnapshot &snapshot, Translate translate);

// How many connections the details pane names: the segments, or before there are any the
// download's setting.
qsizetype connectionCount(const DownloadSnapshot &snapshot);

// The details pane's lines for one download.
QString resumeSupportText(const DownloadSnapshot &snapshot, Translate translate);
QString activityText(const DownloadSnapshot &snapshot, Translate translate);
QString progressText(const DownloadSnapshot &snapshot, Translate translate);

// One segment's bar: its value out of 1000 and its tool tip.
int segmentPermille(const SegmentProgress &segment);
QString segmentToolTip(const SegmentProgress &segment, Translate translate);

} // namespace DisplayFormat
