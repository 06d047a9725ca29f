#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"

#include <QFile>
#include <QObject>

// Carries out one download in a worker thread of its own. The list talks to it only through the
// spec it was built from, the slots start() and pause(), and copies of its state in updated().
class DownloadEngine : public QObject
{
    Q_OBJECT

public:
    explicit DownloadEngine(DownloadSpec spec, QObject *parent = nullptr);

signals:
    void updated(const DownloadSnapshot &snapshot);

public slots:
    void start();
    void pause();

private:
    void publishSnapshot();

    QString id;
    QUrl url;
    QString destination;
    int connections;
    QString status = DownloadStatus::Queued;
    QString error;
    qint64 total = -1;
    bool resumable = false;
    double speed = 0;
    QList<SegmentProgress> segments;
    QFile *partFile;
};
