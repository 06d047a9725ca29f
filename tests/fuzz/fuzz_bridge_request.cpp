// A request line on the local bridge, as the server reads it, through the validation of download
// requests and the naming of the file it leads to. An input that does not open a JSON object gives
// the request's fields directly, one per line (type, url, id, filename), so that the rules are
// reached without the JSON parser's help.

#include "bridge/protocol/BridgeProtocol.h"
#include "bridge/protocol/BrowserFileNames.h"
#include "engine/RequestContextRules.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QJsonDocument>
#include <QNetworkCookie>
#include <QRegularExpression>
#include <QUrl>

namespace {

QJsonObject requestFrom(const QByteArray &input)
{
    if (input.startsWith('{')) {
        // The server answers the bytes before the first line feed, and drops an oversized request.
        if (input.size() > BridgeProtocol::maxMessageBytes)
            return {};
        return QJsonDocument::fromJson(input.left(input.indexOf('\n'))).object();
    }
    const QList<QByteArray> fields = input.split('\n');
    QJsonObject request{{QStringLiteral("type"), QString::fromUtf8(fields.value(0))},
                        {QStringLiteral("url"), QString::fromUtf8(fields.value(1))},
                        {QStringLiteral("id"), QString::fromUtf8(fields.value(2))}};
    if (fields.size() > 3)
        request.insert(QStringLiteral("filename"), QString::fromUtf8(fields.value(3)));
    return request;
}

void requireSafeName(const QString &name)
{
    static const QRegularExpression reserved(QStringLiteral("[<>:\"/\\\\|?*\\x00-\\x1f]"));
    FUZZ_REQUIRE(!name.isEmpty() && name.size() <= 180);
    FUZZ_REQUIRE(!name.contains(reserved));
    FUZZ_REQUIRE(!name.endsWith(QLatin1Char('.')) && !name.endsWith(QLatin1Char(' ')));
    for (int n : {0, 1, BrowserFileNames::maxCandidates - 1})
        FUZZ_REQUIRE(!BrowserFileNames::candidateName(name, n).contains(QLatin1Char('/')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QJsonObject request = requestFrom(fuzzBytes(data, size));
    if (!BridgeProtocol::isValidDownloadRequest(request))
        return 0;

    // The list reads the URL leniently; it must still be what the validation let through.
    const QUrl url(request.value(QStringLiteral("url")).toString(), QUrl::TolerantMode);
    FUZZ_REQUIRE(url.isValid());
    FUZZ_REQUIRE(url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    FUZZ_REQUIRE(!url.host(QUrl::FullyDecoded).isEmpty());
    FUZZ_REQUIRE(url.userInfo().isEmpty());
    const QString id = request.value(QStringLiteral("id")).toString();
    FUZZ_REQUIRE(!id.isEmpty() && id.size() <= 100);

    // What the browser sent of its session goes into request headers: nothing may end a line there.
    RequestContext context;
    FUZZ_REQUIRE(RequestContextRules::read(request, RequestContextRules::Numbers::Json, &context));
    QByteArray headers = context.userAgent + RequestContextRules::refererHeader(context);
    for (const QNetworkCookie &cookie : RequestContextRules::networkCookies(context, url))
        headers += cookie.toRawForm(QNetworkCookie::NameAndValueOnly);
    FUZZ_REQUIRE(!headers.contains('\r') && !headers.contains('\n') && !headers.contains('\0'));

    QString name = request.value(QStringLiteral("filename")).toString();
    if (name.isEmpty())
        name = url.fileName(QUrl::FullyDecoded);
    requireSafeName(BrowserFileNames::sanitizeFileName(name));
    return 0;
}
