#pragma once

#include <QString>
#include <QtGlobal>

// What a download that cannot fit on its drive tells the user, before it fetches anything.
namespace FreeSpaceRules {

// The sentence, in English with its two sizes to fill in; the add dialog shows it translated.
inline constexpr char notEnoughSpaceText[] =
    "Not enough free space: the file needs %1 and %2 are free on this drive.";

// The sentence in English with both sizes written out.
QString notEnoughSpaceMessage(qint64 needed, qint64 available);

// What a file of `total` bytes still needs on the disk when `allocated` bytes of it are there.
qint64 stillNeeded(qint64 total, qint64 allocated);

} // namespace FreeSpaceRules
