#include "engine/SpeedLimitRules.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <numeric>

namespace SpeedLimitRules {

namespace {

constexpr qint64 kib = 1024;
constexpr qint64 mib = 1024 * kib;
constexpr qint64 largest = std::numeric_limits<qint64>::max();

int unitPower(QChar unit)
{
    switch (unit.toUpper().unicode()) {
    case u'K':
        return 1;
    case u'M':
        return 2;
    case u'G':
        return 3;
    case u'T':
        return 4;
    default:
        return -1;
    }
}

bool refuse(QString *problem, QStringList *arguments, const QString &reason, const QStringList &values = {})
{
    *problem = reason;
    if (arguments)
        *arguments = values;
    return false;
}

qint64 smaller(qint64 first, qint64 second)
{
    if (first <= 0)
        return second;
    if (second <= 0)
        return first;
    return std::min(first, second);
}

} // namespace

QList<qint64> presets()
{
    return {512 * kib, 1 * mib, 2 * mib, 5 * mib, 10 * mib};
}

bool parseRate(const QString &text, qint64 *bytesPerSecond, QString *problem, QStringList *arguments)
{
    static const QRegularExpression form(
        QStringLiteral("^([+-]?)(\\d*)(?:\\.(\\d*))?\\s*([^\\d\\s./]*)(/s)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString trimmed = text.trimmed();
    const QRegularExpressionMatch match = form.match(trimmed);
    const QString whole = match.captured(2);
    const QString fraction = match.captured(3);
    if (trimmed.isEmpty() || !match.hasMatch() || (whole.isEmpty() && fraction.isEmpty()))
        return refuse(problem, arguments,
                      QStringLiteral("Enter a speed limit in bytes per second, such as 500K, 2M or 1G."));
    if (match.captured(1) == QLatin1String("-"))
        return refuse(problem, arguments, QStringLiteral("A speed limit must be greater than zero."));

    // The unit: nothing or "B" for bytes; K, M, G, T, each optionally followed by "B" or "iB".
    const QString unit = match.captured(4);
    int power = 0;
    if (!unit.isEmpty() && unit.compare(QLatin1String("B"), Qt::CaseInsensitive) != 0) {
        power = unitPower(unit.front());
        const QString rest = unit.mid(1);
        if (power < 0 || !(rest.isEmpty() || rest.compare(QLatin1String("B"), Qt::CaseInsensitive) == 0 ||
                           rest.compare(QLatin1String("iB"), Qt::CaseInsensitive) == 0))
            return refuse(problem, arguments,
                          QStringLiteral("Unknown unit \"%1\" in the speed limit. Use K, M, G or T, or no "
                                         "unit for bytes per second."),
                          {unit});
    }
    qint64 multiplier = 1;
    for (int i = 0; i < power; ++i)
        multiplier *= kib;

    // Whole part and fraction are worked out separately, so that nothing passes through a double
    // that could round a large rate past the limit.
    qint64 value = 0;
    const QString digits = whole.isEmpty() ? QStringLiteral("0") : whole;
    const QString significant = QString(digits).remove(QRegularExpression(QStringLiteral("^0+(?=\\d)")));
    bool ok = significant.size() <= 19;
    const qint64 wholeValue = ok ? significant.toLongLong(&ok) : 0;
    if (!ok || wholeValue > largest / multiplier)
        return refuse(problem, arguments, QStringLiteral("A speed limit can be at most %1 bytes per second."),
                      {QString::number(largest)});
    value = wholeValue * multiplier;
    if (!fraction.isEmpty()) {
        // Eighteen digits of the fraction are more than any multiplier up to 2^40 can tell apart.
        const QString kept = fraction.left(18);
        qint64 scale = 1;
        for (qsizetype i = 0; i < kept.size(); ++i)
            scale *= 10;
        const qint64 numerator = kept.toLongLong();
        // numerator / scale × multiplier, without overflowing: multiplier ≤ 2^40, numerator < 10^18.
        const long double part = static_cast<long double>(numerator) / static_cast<long double>(scale) *
                                 static_cast<long double>(multiplier);
        const qint64 extra = qint64(part);
        if (extra > largest - value)
            return refuse(problem, arguments,
                          QStringLiteral("A speed limit can be at most %1 bytes per second."),
                          {QString::number(largest)});
        value += extra;
    }
    if (value <= 0)
        return refuse(problem, arguments, QStringLiteral("A speed limit must be greater than zero."));
    *bytesPerSecond = value;
    return true;
}

QString rateText(qint64 bytesPerSecond)
{
    static const char units[] = {'K', 'M', 'G', 'T'};
    int unit = -1;
    qint64 multiplier = 1;
    while (unit < 3 && bytesPerSecond / kib >= multiplier) {
        multiplier *= kib;
        ++unit;
    }
    // The largest unit that says the rate exactly, with one decimal at most: 1.5M, 1500K, 1000.
    for (; unit >= 0; --unit, multiplier /= kib) {
        if (bytesPerSecond % multiplier == 0)
            return QString::number(bytesPerSecond / multiplier) + QLatin1Char(units[unit]);
        if (bytesPerSecond < largest / 10 && (bytesPerSecond * 10) % multiplier == 0)
            return QString::number(double(bytesPerSecond * 10 / multiplier) / 10, 'f', 1) +
                   QLatin1Char(units[unit]);
    }
    return QString::number(bytesPerSecond);
}

QList<qint64> shares(qint64 overall, const QList<qint64> &ownLimits)
{
    QList<qint64> result(ownLimits.size(), 0);
    if (overall <= 0) {
        for (qsizetype i = 0; i < ownLimits.size(); ++i)
            result[i] = std::max<qint64>(0, ownLimits.at(i));
        return result;
    }
    // Lowest own limits first: each takes what it can use of an equal part, and passes the rest on.
    QList<qsizetype> order(ownLimits.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const qint64 first = ownLimits.at(a) > 0 ? ownLimits.at(a) : largest;
        const qint64 second = ownLimits.at(b) > 0 ? ownLimits.at(b) : largest;
        return first < second;
    });
    qint64 left = overall;
    for (qsizetype k = 0; k < order.size(); ++k) {
        const qsizetype index = order.at(k);
        const qint64 equalPart = left / (order.size() - k);
        const qint64 own = ownLimits.at(index);
        const qint64 share = std::max<qint64>(1, own > 0 ? std::min(own, equalPart) : equalPart);
        result[index] = share;
        left = std::max<qint64>(0, left - share);
    }
    return result;
}

qint64 alone(qint64 overall, qint64 own)
{
    return smaller(std::max<qint64>(0, overall), std::max<qint64>(0, own));
}

} // namespace SpeedLimitRules
