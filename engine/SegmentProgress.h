#pragma once

#include <QtGlobal>

// One byte range of a download's plan. `end` is inclusive; `received` counts from `start`.
struct SegmentProgress
{
    qint64 start = 0;
    qint64 end = 0;
    qint64 received = 0;

    bool operator==(const SegmentProgress &) const = default;
};
