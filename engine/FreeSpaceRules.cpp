#include "engine/FreeSpaceRules.h"

#include <algorithm>
#include <iterator>

namespace FreeSpaceRules {

QString englishSize(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("Unknown");
    static const char *const units[] = {"B", "KB", "MB", "GB", "TB"};
    constexpr int lastUnit = int(std::size(units)) - 1;
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < lastUnit) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QString::number(value, 'f', unit == 0 ? 0 : 1),
                                       QLatin1String(units[unit]));
}

QString notEnoughSpaceMessage(qint64 needed, qint64 available)
{
    return QString::fromLatin1(notEnoughSpaceText)
        .arg(englishSize(needed), englishSize(std::max<qint64>(available, 0)));
}

qint64 stillNeeded(qint64 total, qint64 allocated)
{
    return std::max<qint64>(total - std::max<qint64>(allocated, 0), 0);
}

} // namespace FreeSpaceRules
