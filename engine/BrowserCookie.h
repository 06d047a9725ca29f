#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One cookie as the browser holds it for a download's site: enough for the engine to send it only
// where, and only while, the browser itself would.
struct BrowserCookie
{
    QByteArray name;
    QByteArray value;
    // As the browser stores it; a domain cookie may carry a leading ".".
    QString domain;
    QString path = QStringLiteral("/");
    // Sent to `domain` itself only, never to its subdomains.
    bool hostOnly = true;
    // Sent over https only.
    bool secure = false;
    // Seconds since the epoch; 0 for a cookie that lasts as long as the browser's session.
    qint64 expires = 0;

    bool operator==(const BrowserCookie &) const = default;
};
