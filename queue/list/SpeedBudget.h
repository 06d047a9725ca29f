#pragma once

#include "queue/list/QueueEntry.h"

#include <QHash>
#include <QMap>
#include <QString>

#include <memory>

class RateShare;

// The list's speed limits: the overall one, kept in the setting "speedLimit", shared among the
// downloads that transfer, each within its own limit. Every engine reads its share from an atomic
// of its own that the budget keeps up to date as downloads start and stop and as limits change,
// so the engines never wait for one another or for the list. Lives on the GUI thread.
class SpeedBudget
{
public:
    // Reads the overall limit from the settings.
    SpeedBudget();

    qint64 overall() const { return overallLimit; }
    // Sets the overall limit (0 for none) and keeps it in the settings.
    void setOverall(qint64 bytesPerSecond);

    // The share the engine about to be made for `id` reads; it starts as if the download were the
    // only one, until the next rebalance counts it.
    std::shared_ptr<const RateShare> shareFor(const QString &id, qint64 ownLimit);
    // The download's engine was stopped for good.
    void forget(const QString &id);
    // Recomputes every engine's share from the downloads' states and own limits.
    void rebalance(const QMap<QString, QueueEntry> &entries);

private:
    qint64 overallLimit = 0;
    QHash<QString, std::shared_ptr<RateShare>> shares;
};
