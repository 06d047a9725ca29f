#include "engine/ChecksumRules.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace ChecksumRules {

namespace {

struct Known
{
    Algorithm algorithm;
    const char *name; // the kept form's name
    const char *displayName;
    int hexLength;
};

constexpr std::array<Known, 4> known{{
    {Algorithm::Md5, "md5", "MD5", 32},
    {Algorithm::Sha1, "sha-1", "SHA-1", 40},
    {Algorithm::Sha256, "sha-256", "SHA-256", 64},
    {Algorithm::Sha512, "sha-512", "SHA-512", 128},
}};

const Known &entry(Algorithm algorithm)
{
    return *std::find_if(known.cbegin(), known.cend(),
                         [algorithm](const Known &k) { return k.algorithm == algorithm; });
}

// "sha-256", "sha256", "SHA-256" name the same algorithm.
const Known *byName(const QString &name)
{
    const QString folded = name.toLower();
    for (const Known &k : known) {
        const QString kept = QLatin1String(k.name);
        if (folded == kept || folded == QString(kept).remove(QLatin1Char('-')))
            return &k;
    }
    return nullptr;
}

bool isHex(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
               (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    });
}

bool refuse(QString *problem, QStringList *arguments, const QString &reason, const QStringList &values = {})
{
    *problem = reason;
    if (arguments)
        *arguments = values;
    return false;
}

} // namespace

bool parse(const QString &text, Checksum *checksum, QString *problem, QStringList *arguments)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return refuse(problem, arguments, QStringLiteral("Enter a checksum."));
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    const QString digits = (equals < 0 ? trimmed : trimmed.mid(equals + 1)).trimmed();
    const Known *algorithm = nullptr;
    if (equals >= 0) {
        const QString name = trimmed.left(equals).trimmed();
        algorithm = byName(name);
        if (!algorithm)
            return refuse(
                problem, arguments,
                QStringLiteral("Unknown checksum algorithm \"%1\". Use sha-256, sha-512, sha-1 or md5."),
                {name});
    }
    if (digits.isEmpty() || !isHex(digits))
        return refuse(problem, arguments,
                      QStringLiteral("A checksum is written in hexadecimal digits: 0 to 9 and a to f."));
    if (!algorithm) {
        const auto byLength = std::find_if(known.cbegin(), known.cend(),
                                           [&](const Known &k) { return k.hexLength == digits.size(); });
        if (byLength == known.cend())
            return refuse(problem, arguments,
                          QStringLiteral("A checksum of %1 hexadecimal digits fits no supported algorithm: "
                                         "MD5 has 32, SHA-1 40, SHA-256 64 and SHA-512 128."),
                          {QString::number(digits.size())});
        algorithm = &*byLength;
    } else if (digits.size() != algorithm->hexLength) {
        return refuse(problem, arguments,
                      QStringLiteral("%1 checksums have %2 hexadecimal digits; this one has %3."),
                      {QLatin1String(algorithm->displayName), QString::number(algorithm->hexLength),
                       QString::number(digits.size())});
    }
    checksum->algorithm = algorithm->algorithm;
    checksum->hex = digits.toLower().toLatin1();
    return true;
}

QString toText(const Checksum &checksum)
{
    return QLatin1String(entry(checksum.algorithm).name) + QLatin1Char('=') + QLatin1String(checksum.hex);
}

QString displayName(Algorithm algorithm)
{
    return QLatin1String(entry(algorithm).displayName);
}

int hexLength(Algorithm algorithm)
{
    return entry(algorithm).hexLength;
}

QString mismatchMessage(const Checksum &expected, const QByteArray &actualHex)
{
    return QStringLiteral("The downloaded file does not match its %1 checksum (expected %2, got %3). "
                          "Retry to download it again.")
        .arg(displayName(expected.algorithm), QLatin1String(expected.hex), QLatin1String(actualHex));
}

} // namespace ChecksumRules
