#include "engine/SizeText.h"

#include <iterator>

namespace SizeText {

QString written(qint64 bytes)
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

} // namespace SizeText
