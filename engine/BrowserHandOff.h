#pragma once

#include "engine/RequestContext.h"

#include <QByteArray>
#include <QString>

// How the engine treats a download the browser handed over. The browser had already received the
// right file, so the server's answer to the engine must be that file: a login page or a file of
// another size is refused before a byte is written. And since the browser's session may have
// expired meanwhile, a refusal says how to renew it. A download added by hand has no context and
// is never judged: the user asked for that very link.
namespace BrowserHandOff {

enum class Verdict
{
    Accept,
    // An HTML page where the browser was told of another type: a login or error page.
    WebPage,
    // A size other than the one the browser saw.
    OtherSize,
};

// Judges the probe's answer (its Content-Type and the total it gives, -1 when unknown) against
// what the browser announced. A size of 0 tells nothing, since browsers report it for an unknown
// one, and an announced HTML type means the user wanted the page.
Verdict judgeProbe(const RequestContext &context, const QByteArray &contentType, qint64 probedTotal);

// The sentence for a refused answer.
QString wrongFileMessage(Verdict verdict);

// The sentence for an HTTP status, when it is the site refusing the browser's session (401, 403)
// for a download that came with one; empty otherwise.
QString refusalMessage(const RequestContext &context, int status);

} // namespace BrowserHandOff
