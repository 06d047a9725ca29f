#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Speed limits in bytes per second: how a person writes one, the menus' presets, and how the
// overall limit is shared among the downloads that transfer. 0 stands for no limit. Messages are
// English sentences that the caller translates.
namespace SpeedLimitRules {

// The presets of the "Speed limit" menus: 512 KB/s, 1, 2, 5 and 10 MB/s.
QList<qint64> presets();

// Reads a rate as curl's --limit-rate takes it: a whole number of bytes per second, or one with
// the suffix K, M, G or T (any case; multiples of 1024). Also taken, for people who type what the
// program shows: a decimal fraction ("1.5M"), a space before the unit, "B", "KB" or "KiB", and
// "/s" at the end. False with the reason, and the values for its %1…, for anything else: zero, a
// negative or empty rate, an unknown unit, or one beyond 2^63 - 1 bytes per second.
bool parseRate(const QString &text, qint64 *bytesPerSecond, QString *problem,
               QStringList *arguments = nullptr);

// The rate in the form parseRate reads back and a person reads easily: "512K", "1.5M", "1000".
QString rateText(qint64 bytesPerSecond);

// Shares the overall limit among the downloads that transfer, whose own limits (0 for none) are
// given in order: each gets an equal part, and what a download's own, lower limit leaves unused
// goes to the others. Without an overall limit each keeps its own. Every share is at least 1.
QList<qint64> shares(qint64 overall, const QList<qint64> &ownLimits);

// The limit a download that does not transfer yet would start with: its own, within the overall.
qint64 alone(qint64 overall, qint64 own);

} // namespace SpeedLimitRules
