#pragma once

#include "engine/RequestContext.h"

#include <QMetaType>
#include <QString>
#include <QUrl>

// What a download is: the list hands one to each engine it creates.
struct DownloadSpec
{
    QString id;
    QUrl url;
    QString destination;
    int connections = 8;
    // The browser's session and what it saw of the file; empty for a download added by hand.
    RequestContext context;
};

Q_DECLARE_METATYPE(DownloadSpec)
