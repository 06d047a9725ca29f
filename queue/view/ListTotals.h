#pragma once

#include "engine/DownloadSnapshot.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// The figures of the status bar (how many downloads run and how fast the list downloads as a
// whole), kept up to date one report at a time, so that a report costs the same in a list of ten
// downloads as in a list of ten thousand.
class ListTotals
{
public:
    // Starts over from the whole list.
    void reset(const QList<DownloadSnapshot> &snapshots);
    // Takes a download's new state (a download not seen before is added).
    void update(const DownloadSnapshot &snapshot);

    int activeCount() const { return int(active.size()); }
    // The sum of every download's speed, in bytes per second.
    double speed() const;

private:
    QSet<QString> active;
    // Only downloads that move are kept, so the sum stays short however long the list is.
    QHash<QString, double> speeds;
};
