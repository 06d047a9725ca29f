#pragma once

#include "engine/RequestContext.h"

#include <QMetaType>
#include <QString>
#include <QUrl>

#include <memory>

class RateShare;

// What a download is: the list hands one to each engine it creates.
struct DownloadSpec
{
    QString id;
    QUrl url;
    QString destination;
    int connections = 8;
    // The browser's session and what it saw of the file; empty for a download added by hand.
    RequestContext context;
    // The checksum the finished file must match, as ChecksumRules keeps it; empty for none.
    QString checksum;
    // The rate the engine may read at, kept up to date by the owner; null for no limit.
    std::shared_ptr<const RateShare> rateLimit;
};

Q_DECLARE_METATYPE(DownloadSpec)
