#pragma once

#include <QtGlobal>

class QNetworkReply;

// One byte range of a download as the engine works on it. `end` is inclusive and is -2 when the
// size is unknown, meaning "to the end of the body".
struct Segment
{
    qint64 start = 0;
    qint64 end = 0;
    qint64 received = 0;
    // The request in flight for this range; null when none is.
    QNetworkReply *reply = nullptr;
    // The current reply's status and headers were checked against the plan.
    bool validated = false;
    // The reply has finished while paced reads had left part of its body unread.
    bool finishPending = false;

    qint64 remaining() const { return end - start - received + 1; }
    bool isComplete() const { return received == end - start + 1; }
};
