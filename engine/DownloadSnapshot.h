#pragma once

#include "engine/DownloadStatus.h"
#include "engine/RequestContext.h"
#include "engine/SegmentProgress.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>

// An engine's published state. Copies of it are the only thing that crosses from an engine's
// thread to the list, and it is what the list stores and persists per download.
struct DownloadSnapshot
{
    QString id;
    QUrl url;
    QString destination;
    int connections = 8;
    QString status = DownloadStatus::Queued;
    QString error;
    qint64 received = 0;
    qint64 total = -1;
    double speed = 0;
    bool resumable = false;
    QList<SegmentProgress> segments;
    // Kept with the download until it completes, so that a resume after a restart still has it.
    RequestContext context;
};

Q_DECLARE_METATYPE(DownloadSnapshot)
