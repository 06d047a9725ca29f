#include "update/UpdateFeedRules.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace UpdateFeedRules {

namespace {

// Compares two runs of decimal digits by value, however long they are: a release numbered past
// the range of an int must still count as newer.
int compareNumbers(QStringView left, QStringView right)
{
    const auto significant = [](QStringView digits) {
        while (digits.size() > 1 && digits.front() == QLatin1Char('0'))
            digits = digits.mid(1);
        return digits;
    };
    left = significant(left);
    right = significant(right);
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    return left.compare(right);
}

} // namespace

bool isValidVersion(const QString &version)
{
    // Anchored as a whole: a plain "$" would also accept a version followed by a line break.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+(?:\\.[0-9]+){1,3}")));
    return version.size() < 40 && pattern.match(version).hasMatch();
}

bool isNewerVersion(const QString &candidate, const QString &current)
{
    if (!isValidVersion(candidate) || !isValidVersion(current))
        return false;
    const QList<QStringView> candidateNumbers = QStringView(candidate).split(QLatin1Char('.'));
    const QList<QStringView> currentNumbers = QStringView(current).split(QLatin1Char('.'));
    const qsizetype common = std::min(candidateNumbers.size(), currentNumbers.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int order = compareNumbers(candidateNumbers.at(i), currentNumbers.at(i));
        if (order != 0)
            return order > 0;
    }
    return candidateNumbers.size() > currentNumbers.size();
}

bool isAllowedDownloadLink(const QUrl &link, const QString &makerDomain)
{
    if (!link.isValid() || link.scheme() != QLatin1String("https") || !link.userInfo().isEmpty())
        return false;
    const QString host = link.host(QUrl::FullyDecoded).toLower();
    const QString domain = makerDomain.toLower();
    // The dot matters: "evil-example.com" ends with the letters of "example.com" too.
    return !domain.isEmpty() && (host == domain || host.endsWith(QLatin1Char('.') + domain));
}

bool isAcceptableFeedAddress(const QUrl &address)
{
    if (!address.isValid() || address.host().isEmpty())
        return false;
    if (address.scheme() == QLatin1String("https"))
        return true;
    const QString host = address.host();
    return address.scheme() == QLatin1String("http") &&
           (host == QLatin1String("localhost") || QHostAddress(host).isLoopback());
}

bool parseFeed(const QByteArray &body, const QString &member, const QString &makerDomain, UpdateFeed *feed)
{
    *feed = UpdateFeed();
    if (body.size() > maxFeedBytes)
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;

    // A member of the wrong type reads as empty and then fails the rule that needs it.
    const QJsonObject release = document.object().value(member).toObject();
    UpdateFeed read;
    read.version = release.value(QLatin1String("version")).toString();
    read.url = QUrl(release.value(QLatin1String("url")).toString(), QUrl::StrictMode);
    if (!isValidVersion(read.version) || !isAllowedDownloadLink(read.url, makerDomain))
        return false;
    read.size = release.value(QLatin1String("size")).toString();
    read.date = release.value(QLatin1String("date")).toString();

    const QJsonValue changes = release.value(QLatin1String("change"));
    if (!changes.isArray())
        return false;
    const QJsonArray lines = changes.toArray();
    for (const QJsonValue &line : lines) {
        if (!line.isString())
            return false;
        read.changes.append(line.toString());
    }
    *feed = read;
    return true;
}

} // namespace UpdateFeedRules
