#include "engine/BrowserHandOff.h"

namespace BrowserHandOff {

namespace {

bool isHtml(QByteArrayView type)
{
    return type == "text/html" || type == "application/xhtml+xml";
}

} // namespace

Verdict judgeProbe(const RequestContext &context, const QByteArray &contentType, qint64 probedTotal)
{
    const QByteArray announced = context.mimeType.toLatin1();
    // After a redirect the network library may join the hops' values of a header, the final answer's
    // last: "text/html, application/zip" is the zip a redirect page led to.
    const QByteArray served = contentType.split(',').last().split(';').first().trimmed().toLower();
    if (!announced.isEmpty() && !isHtml(announced) && isHtml(served))
        return Verdict::WebPage;
    if (context.size > 0 && probedTotal >= 0 && probedTotal != context.size)
        return Verdict::OtherSize;
    return Verdict::Accept;
}

QString wrongFileMessage(Verdict verdict)
{
    switch (verdict) {
    case Verdict::WebPage:
        return QStringLiteral("The server sent a web page instead of the file. It may need you to sign in "
                              "in the browser.");
    case Verdict::OtherSize:
        return QStringLiteral("The server sent a file of another size than the browser saw. Send the "
                              "download again from the browser.");
    case Verdict::Accept:
        break;
    }
    return {};
}

QString refusalMessage(const RequestContext &context, int status)
{
    if (context.isEmpty() || (status != 401 && status != 403))
        return {};
    return QStringLiteral("The site refused the download. Send it again from the browser to renew its "
                          "sign-in.");
}

} // namespace BrowserHandOff
