#include "queue/list/SpeedBudget.h"

#include "engine/DownloadStatus.h"
#include "engine/RateShare.h"
#include "engine/SpeedLimitRules.h"

#include <QSettings>

namespace {

const QString settingKey = QStringLiteral("speedLimit");

// Only a download that moves bytes uses a share: one waiting to retry, or checking its file, leaves
// its part to the others.
bool transfers(const QString &status)
{
    return status == DownloadStatus::Connecting || status == DownloadStatus::Downloading;
}

} // namespace

SpeedBudget::SpeedBudget()
{
    bool ok = false;
    const qint64 stored = QSettings().value(settingKey).toLongLong(&ok);
    overallLimit = ok && stored > 0 ? stored : 0;
}

void SpeedBudget::setOverall(qint64 bytesPerSecond)
{
    overallLimit = std::max<qint64>(0, bytesPerSecond);
    QSettings settings;
    if (overallLimit > 0)
        settings.setValue(settingKey, overallLimit);
    else
        settings.remove(settingKey);
}

std::shared_ptr<const RateShare> SpeedBudget::shareFor(const QString &id, qint64 ownLimit)
{
    auto share = std::make_shared<RateShare>(SpeedLimitRules::alone(overallLimit, ownLimit));
    shares.insert(id, share);
    return share;
}

void SpeedBudget::forget(const QString &id)
{
    shares.remove(id);
}

void SpeedBudget::rebalance(const QMap<QString, QueueEntry> &entries)
{
    QList<RateShare *> transferring;
    QList<qint64> ownLimits;
    for (auto it = shares.cbegin(); it != shares.cend(); ++it) {
        const auto entry = entries.constFind(it.key());
        if (entry == entries.cend())
            continue;
        const qint64 own = entry->snapshot.speedLimit;
        if (transfers(entry->snapshot.status)) {
            transferring.append(it.value().get());
            ownLimits.append(own);
        } else {
            it.value()->set(SpeedLimitRules::alone(overallLimit, own));
        }
    }
    const QList<qint64> parts = SpeedLimitRules::shares(overallLimit, ownLimits);
    for (qsizetype i = 0; i < transferring.size(); ++i)
        transferring.at(i)->set(parts.at(i));
}
