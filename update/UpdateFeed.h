#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// What the update feed says about the newest release for this platform. Every member is empty
// until a feed has passed all the rules.
struct UpdateFeed
{
    QString version;
    QString size; // a display text chosen by the server, shown unchanged
    QString date; // likewise
    QStringList changes;
    QUrl url;
};
