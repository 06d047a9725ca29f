#include "engine/RequestContextRules.h"

#include "queue/input/DownloadInputRules.h"

#include <QDateTime>
#include <QJsonArray>
#include <QNetworkCookie>
#include <QNetworkRequest>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace RequestContextRules {

namespace {

const QString keyFinalUrl = QStringLiteral("finalurl");
const QString keyReferrer = QStringLiteral("referrer");
const QString keyUserAgent = QStringLiteral("useragent");
const QString keyCookies = QStringLiteral("cookies");
const QString keyMimeType = QStringLiteral("mime");
const QString keySize = QStringLiteral("size");
const QString keyName = QStringLiteral("name");
const QString keyValue = QStringLiteral("value");
const QString keyDomain = QStringLiteral("domain");
const QString keyPath = QStringLiteral("path");
const QString keyHostOnly = QStringLiteral("hostonly");
const QString keySecure = QStringLiteral("secure");
const QString keyExpires = QStringLiteral("expires");

// The largest integer a JavaScript number holds exactly.
constexpr double maxExactInteger = 9007199254740991.0;

// Nothing that could end a header line or hide in one: no control character, no DEL.
bool isHeaderSafe(QByteArrayView bytes)
{
    return std::none_of(bytes.begin(), bytes.end(),
                        [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

bool readCount(const QJsonValue &value, Numbers numbers, qint64 *count)
{
    if (numbers == Numbers::DecimalStrings) {
        if (!value.isString())
            return false;
        static const QRegularExpression digits(
            QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,18}")));
        if (!digits.match(value.toString()).hasMatch())
            return false;
        *count = value.toString().toLongLong();
        return true;
    }
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > maxExactInteger)
        return false;
    *count = qint64(std::floor(number));
    return true;
}

bool readLink(const QJsonObject &object, const QString &key, QUrl *link)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!isWebLink(value))
        return false;
    *link = QUrl(value.toString(), QUrl::StrictMode);
    return true;
}

bool readCookie(const QJsonValue &value, Numbers numbers, BrowserCookie *cookie)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    const QJsonValue name = object.value(keyName);
    const QJsonValue content = object.value(keyValue);
    const QJsonValue domain = object.value(keyDomain);
    const QJsonValue path = object.value(keyPath);
    if (!name.isString() || !content.isString() || !domain.isString())
        return false;
    cookie->name = name.toString().toUtf8();
    cookie->value = content.toString().toUtf8();
    // Separators would split one cookie into two, or into a name and a value of someone else's.
    if (cookie->name.isEmpty() || cookie->name.contains(';') || cookie->name.contains('=') ||
        cookie->value.contains(';') || !isHeaderSafe(cookie->name) || !isHeaderSafe(cookie->value) ||
        cookie->name.size() + cookie->value.size() > maxCookieBytes)
        return false;
    static const QRegularExpression domainPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\\.?[A-Za-z0-9_.:\\[\\]-]+")));
    cookie->domain = domain.toString().toLower();
    if (cookie->domain.size() > maxCookieDomainLength || !domainPattern.match(cookie->domain).hasMatch())
        return false;
    if (!path.isUndefined()) {
        if (!path.isString())
            return false;
        cookie->path = path.toString();
        const QByteArray bytes = cookie->path.toUtf8();
        if (!cookie->path.startsWith(QLatin1Char('/')) || cookie->path.size() > maxCookiePathLength ||
            bytes.contains(';') || !isHeaderSafe(bytes))
            return false;
    }
    for (const auto &[key, flag] :
         {std::pair{&keyHostOnly, &cookie->hostOnly}, {&keySecure, &cookie->secure}}) {
        const QJsonValue given = object.value(*key);
        if (given.isUndefined())
            continue;
        if (!given.isBool())
            return false;
        *flag = given.toBool();
    }
    const QJsonValue expires = object.value(keyExpires);
    return expires.isUndefined() || readCount(expires, numbers, &cookie->expires);
}

bool readCookies(const QJsonValue &value, Numbers numbers, QList<BrowserCookie> *cookies)
{
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    if (array.size() > maxCookies)
        return false;
    for (const QJsonValue &element : array) {
        BrowserCookie cookie;
        if (!readCookie(element, numbers, &cookie))
            return false;
        cookies->append(cookie);
    }
    return true;
}

} // namespace

bool isWebLink(const QJsonValue &value)
{
    if (!value.isString())
        return false;
    const QUrl url(value.toString(), QUrl::StrictMode);
    return DownloadInputRules::isFetchableLink(url) && !DownloadInputRules::hasUserInformation(url) &&
           url.toString().size() <= maxLinkLength;
}

bool read(const QJsonObject &object, Numbers numbers, RequestContext *context)
{
    RequestContext read;
    if (!readLink(object, keyFinalUrl, &read.finalUrl) || !readLink(object, keyReferrer, &read.referrer))
        return false;

    if (const QJsonValue agent = object.value(keyUserAgent); !agent.isUndefined()) {
        if (!agent.isString())
            return false;
        const QString text = agent.toString();
        const bool printable = std::all_of(text.cbegin(), text.cend(),
                                           [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
        if (text.isEmpty() || text.size() > maxUserAgentLength || !printable)
            return false;
        read.userAgent = text.toLatin1();
    }

    if (const QJsonValue type = object.value(keyMimeType); !type.isUndefined()) {
        static const QRegularExpression mimePattern(QRegularExpression::anchoredPattern(
            QStringLiteral("[!#$%&'*+.^_`|~0-9A-Za-z-]+/[!#$%&'*+.^_`|~0-9A-Za-z-]+")));
        if (!type.isString() || type.toString().size() > maxMimeTypeLength ||
            !mimePattern.match(type.toString()).hasMatch())
            return false;
        read.mimeType = type.toString().toLower();
    }

    // A size is a whole number of bytes; only dates come with fractions of a second.
    if (const QJsonValue size = object.value(keySize);
        !size.isUndefined() &&
        (!readCount(size, numbers, &read.size) || (size.isDouble() && size.toDouble() != double(read.size))))
        return false;

    if (const QJsonValue cookies = object.value(keyCookies);
        !cookies.isUndefined() && !readCookies(cookies, numbers, &read.cookies))
        return false;

    if (context)
        *context = std::move(read);
    return true;
}

QJsonObject toJson(const RequestContext &context)
{
    QJsonObject object;
    if (!context.finalUrl.isEmpty())
        object.insert(keyFinalUrl, QString::fromLatin1(context.finalUrl.toEncoded()));
    if (!context.referrer.isEmpty())
        object.insert(keyReferrer, QString::fromLatin1(context.referrer.toEncoded()));
    if (!context.userAgent.isEmpty())
        object.insert(keyUserAgent, QString::fromLatin1(context.userAgent));
    if (!context.mimeType.isEmpty())
        object.insert(keyMimeType, context.mimeType);
    if (context.size >= 0)
        object.insert(keySize, QString::number(context.size));
    if (!context.cookies.isEmpty()) {
        QJsonArray cookies;
        for (const BrowserCookie &cookie : context.cookies) {
            QJsonObject stored{{keyName, QString::fromUtf8(cookie.name)},
                               {keyValue, QString::fromUtf8(cookie.value)},
                               {keyDomain, cookie.domain},
                               {keyPath, cookie.path},
                               {keyHostOnly, cookie.hostOnly},
                               {keySecure, cookie.secure}};
            if (cookie.expires > 0)
                stored.insert(keyExpires, QString::number(cookie.expires));
            cookies.append(stored);
        }
        object.insert(keyCookies, cookies);
    }
    return object;
}

QList<QNetworkCookie> networkCookies(const RequestContext &context, const QUrl &link)
{
    const QString hosts[] = {link.host().toLower(), context.finalUrl.host().toLower()};
    QList<QNetworkCookie> result;
    for (const BrowserCookie &cookie : context.cookies) {
        const QString bare =
            cookie.domain.startsWith(QLatin1Char('.')) ? cookie.domain.mid(1) : cookie.domain;
        if (bare.isEmpty())
            continue;
        const bool covered = std::any_of(std::begin(hosts), std::end(hosts), [&](const QString &host) {
            return !host.isEmpty() &&
                   (host == bare || (!cookie.hostOnly && host.endsWith(QLatin1Char('.') + bare)));
        });
        if (!covered)
            continue;
        QNetworkCookie made(cookie.name, cookie.value);
        // The jar sends a domain without a leading dot to that very host only.
        made.setDomain(cookie.hostOnly ? bare : QLatin1Char('.') + bare);
        made.setPath(cookie.path);
        made.setSecure(cookie.secure);
        if (cookie.expires > 0)
            made.setExpirationDate(QDateTime::fromSecsSinceEpoch(cookie.expires, Qt::UTC));
        result.append(made);
    }
    return result;
}

QByteArray refererHeader(const RequestContext &context)
{
    if (context.referrer.isEmpty())
        return {};
    return context.referrer.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded();
}

QNetworkRequest downloadRequest(const QUrl &target, const RequestContext &context, int timeoutMs)
{
    QNetworkRequest request(target);
    // A download from the browser continues the browser's session, so the site sees the browser.
    request.setRawHeader("User-Agent", context.userAgent.isEmpty() ? QByteArray("Rushlet/" RUSHLET_VERSION)
                                                                   : context.userAgent);
    if (const QByteArray referer = refererHeader(context); !referer.isEmpty())
        request.setRawHeader("Referer", referer);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // Over HTTP/2 a reply's read-buffer limit is ignored and a whole body can pile up in memory;
    // one connection per range gains nothing from multiplexing anyway.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(timeoutMs);
    return request;
}

} // namespace RequestContextRules
