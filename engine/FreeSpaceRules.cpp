#include "engine/FreeSpaceRules.h"

#include "engine/SizeText.h"

#include <algorithm>

namespace FreeSpaceRules {

QString notEnoughSpaceMessage(qint64 needed, qint64 available)
{
    return QString::fromLatin1(notEnoughSpaceText)
        .arg(SizeText::written(needed), SizeText::written(std::max<qint64>(available, 0)));
}

qint64 stillNeeded(qint64 total, qint64 allocated)
{
    return std::max<qint64>(total - std::max<qint64>(allocated, 0), 0);
}

} // namespace FreeSpaceRules
