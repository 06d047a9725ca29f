#pragma once

#include "engine/BrowserCookie.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// What the browser knew of a download it handed over: its session with the site, which the
// engine repeats on every request, and what it was told about the file, which the engine checks
// the server's answer against. Empty for a download added by hand. The cookies are secrets: the
// context is kept in the owner-only list file and never shown, logged or copied.
struct RequestContext
{
    // Where the browser got the file after its redirects.
    QUrl finalUrl;
    QUrl referrer;
    QByteArray userAgent;
    QList<BrowserCookie> cookies;
    // The type and size the browser saw; empty and -1 when it saw none.
    QString mimeType;
    qint64 size = -1;

    bool isEmpty() const
    {
        return finalUrl.isEmpty() && referrer.isEmpty() && userAgent.isEmpty() && cookies.isEmpty() &&
               mimeType.isEmpty() && size < 0;
    }
    bool operator==(const RequestContext &) const = default;
};
