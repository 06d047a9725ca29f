#pragma once

#include "engine/SegmentProgress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// The resume checkpoint kept beside a partial file: which bytes of which version of which resource
// the partial file already holds.
namespace ResumeCheckpoint {

struct Contents
{
    QUrl url;
    QString destination;
    qint64 total = -1;
    QByteArray etag;
    QByteArray lastModified;
    QList<SegmentProgress> segments;
};

// The indented JSON document; 64-bit counts are decimal strings so that no reader rounds them.
QByteArray toJson(const Contents &contents);

// Reads a document and tells whether it belongs to the download of `url` into `destination`. Only a
// recognised checkpoint fills *contents; a count that is missing or not a number reads as 0.
bool read(const QByteArray &json, const QUrl &url, const QString &destination, Contents *contents);

// True for the checkpoint of a download into `destination` (of any URL) that had every byte: what a
// crash between the final rename and the checkpoint's removal leaves behind.
bool recordsFinishedDownload(const QByteArray &json, const QString &destination);

// The stored plan, when it can safely continue the download the probe just described: ranges work,
// the validators prove it is the same version, the size is unchanged, and the ranges cover the
// resource without gaps or overlaps and claim no byte the partial file (of `partSize` bytes) lacks.
// Empty when the download has to start over.
QList<SegmentProgress> restorableSegments(const Contents &stored, qint64 total, bool rangeSupported,
                                          const QByteArray &etag, const QByteArray &lastModified,
                                          qint64 partSize);

} // namespace ResumeCheckpoint
