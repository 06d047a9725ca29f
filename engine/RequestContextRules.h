#pragma once

#include "engine/RequestContext.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>

class QNetworkCookie;
class QNetworkRequest;
class QUrl;

// What the browser may tell about a download besides its link, how it is kept in the list file,
// and how it turns into what the engine sends. Everything that reaches a request header passes
// through here first: no line break, no control character, nothing longer than a browser sends.
namespace RequestContextRules {

inline constexpr qsizetype maxLinkLength = 16000;
inline constexpr qsizetype maxUserAgentLength = 1024;
inline constexpr qsizetype maxMimeTypeLength = 255;
inline constexpr qsizetype maxCookies = 300;
// A cookie's name and value together, in bytes, as browsers limit them.
inline constexpr qsizetype maxCookieBytes = 4096;
inline constexpr qsizetype maxCookieDomainLength = 255;
inline constexpr qsizetype maxCookiePathLength = 1024;

// The browser sends sizes and dates as JSON numbers; the list file keeps them as decimal strings,
// as it keeps every 64-bit count.
enum class Numbers
{
    Json,
    DecimalStrings,
};

// A link the program may fetch or send as a referrer: a string that parses strictly as http or
// https with a host, without user information, at most 16000 characters long.
bool isWebLink(const QJsonValue &value);

// Reads the optional keys "finalurl", "referrer", "useragent", "cookies", "mime" and "size" of
// `object`; a missing key leaves its field empty. False when any key that is present holds
// something malformed, in which case `context` (may be null) is not touched.
bool read(const QJsonObject &object, Numbers numbers, RequestContext *context);

// The fields that are set, under the keys read() takes, with numbers as decimal strings.
QJsonObject toJson(const RequestContext &context);

// The browser's cookies as the engine's jar holds them: only those that the browser would send
// to `link` or to the final URL, with their scope, expiry and secure flag.
QList<QNetworkCookie> networkCookies(const RequestContext &context, const QUrl &link);

// The Referer header: the referrer without user information or fragment; empty when none.
QByteArray refererHeader(const RequestContext &context);

// A request for `target` as the engine sends every one: the browser's user agent and referrer
// (or the program's own name), no compression, only redirects that stay as safe, HTTP/1.1, and
// a transfer time-out. Cookies come from the manager's jar.
QNetworkRequest downloadRequest(const QUrl &target, const RequestContext &context, int timeoutMs);

} // namespace RequestContextRules
