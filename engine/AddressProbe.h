#pragma once

#include "engine/AddressChangeRules.h"
#include "engine/RequestContext.h"

#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// Asks a new address for the first byte of a paused or failed download, as the engine's probe
// does (with the browser's session when `context` carries one), and judges the answer against the checkpoint
// beside the download's partial file. Runs on the thread it was made on (the GUI's); the download's engine is
// stopped meanwhile, so nothing else touches the checkpoint.
class AddressProbe : public QObject
{
    Q_OBJECT

public:
    AddressProbe(const QUrl &currentUrl, const QUrl &newUrl, const QString &destination,
                 const RequestContext &context, QObject *parent = nullptr);

    // Sends the probe; finished() follows, also when nothing is on disk and no probe is needed.
    void start();

    // Makes the checkpoint beside `destination` name `newUrl` instead of `currentUrl`, so that the
    // engine takes the partial file for its own; true when there is no checkpoint to change.
    static bool moveCheckpoint(const QString &destination, const QUrl &currentUrl, const QUrl &newUrl);

signals:
    void finished(const AddressChangeRules::Outcome &outcome);

private:
    void onMetaData();
    void onFinished();
    void conclude(const AddressChangeRules::Outcome &outcome);

    QUrl currentUrl;
    QUrl newUrl;
    QString destination;
    RequestContext context;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *reply = nullptr;
    bool haveCheckpoint = false;
    ResumeCheckpoint::Contents stored;
    qint64 partSize = 0;
};
