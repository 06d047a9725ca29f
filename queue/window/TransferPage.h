#pragma once

#include "engine/DownloadSnapshot.h"

#include <QList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QProgressBar;

// The details pane's "Transfer" page: the selected download's name and status, its progress in
// bytes and percent, one bar per segment, its connections and resume support, what it is doing,
// where it saves and what went wrong.
class TransferPage : public QWidget
{
    Q_OBJECT

public:
    explicit TransferPage(QWidget *parent = nullptr);

    // Shows `snapshot`, or the hint to select a download when it is null.
    void showDownload(const DownloadSnapshot *snapshot);

    // The segment bars shown now, in segment order.
    const QList<QProgressBar *> &segmentBars() const { return bars; }

private:
    void showSegments(const QList<SegmentProgress> &segments);
    void clear();

    QLabel *title = nullptr;
    QLabel *statusBadge = nullptr;
    QLabel *progressLine = nullptr;
    QLabel *percent = nullptr;
    QHBoxLayout *barRow = nullptr;
    QList<QProgressBar *> bars;
    QLabel *connections = nullptr;
    QLabel *resumeSupport = nullptr;
    QLabel *activity = nullptr;
    QLabel *saveTo = nullptr;
    QLabel *error = nullptr;
};
