#include "queue/view/ListTotals.h"

#include "queue/list/QueueRules.h"

void ListTotals::reset(const QList<DownloadSnapshot> &snapshots)
{
    active.clear();
    speeds.clear();
    for (const DownloadSnapshot &snapshot : snapshots)
        update(snapshot);
}

void ListTotals::update(const DownloadSnapshot &snapshot)
{
    if (QueueRules::isActiveStatus(snapshot.status))
        active.insert(snapshot.id);
    else
        active.remove(snapshot.id);
    if (snapshot.speed > 0)
        speeds.insert(snapshot.id, snapshot.speed);
    else
        speeds.remove(snapshot.id);
}

double ListTotals::speed() const
{
    // Summed afresh each time: adding and subtracting every report would drift.
    double sum = 0;
    for (const double value : speeds)
        sum += value;
    return sum;
}
