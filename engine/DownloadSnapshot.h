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
    // As in the DownloadSpec; kept in the list once the download has completed, as the verified checksum.
    QString checksum;
    // While "Verifying": how many bytes of the file were checked so far.
    qint64 verified = 0;
    // The download's own limit in bytes per second, 0 for none. The list owns it: engines neither
    // know nor report it.
    qint64 speedLimit = 0;
};

Q_DECLARE_METATYPE(DownloadSnapshot)
