#pragma once

#include "engine/DownloadRules.h"
#include "engine/ResumeCheckpoint.h"

#include <QString>
#include <QStringList>

// Whether a download whose link died may go on from a new address: only when the new address
// serves the same file, which the size and a validator that the checkpoint kept must prove, or
// when the person agrees to start from zero. Messages are English sentences that the caller
// translates; `arguments` fill their %1, %2….
namespace AddressChangeRules {

enum class Verdict
{
    // The new address serves the file the partial file holds part of (or nothing is on disk yet):
    // the download goes on from where it stopped.
    Continue,
    // Nothing proves or disproves that it is the same file: it may only start over from zero.
    RestartFromZero,
    // Another file, or no usable answer: the address stays as it was.
    Refused,
};

struct Outcome
{
    Verdict verdict = Verdict::Refused;
    QString reason;
    QStringList arguments;
};

// The outcome for a probe of the new address answered with `status` and read as `probed`, against
// the checkpoint beside the partial file (null when there is none; `partSize` is the partial file's
// size).
Outcome judge(const ResumeCheckpoint::Contents *stored, qint64 partSize, int status,
              const DownloadRules::ProbeResult &probed);

} // namespace AddressChangeRules
