#pragma once

#include "engine/ChecksumRules.h"
#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"
#include "engine/ResumeCheckpoint.h"
#include "engine/Segment.h"
#include "engine/TransferRate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QNetworkRequest>
#include <QObject>

#include <memory>
#include <optional>

class BackgroundSync;
class ChecksumVerifier;
class QNetworkAccessManager;
class QNetworkCookieJar;
class QNetworkReply;
class QTimer;
class RateShare;
class ReadPacer;

// Carries out one download in a worker thread of its own. The list talks to it only through the
// spec it was built from, the slots start() and pause(), and copies of its state in updated().
class DownloadEngine : public QObject
{
    Q_OBJECT

public:
    explicit DownloadEngine(DownloadSpec spec, QObject *parent = nullptr);
    ~DownloadEngine() override;

signals:
    void updated(const DownloadSnapshot &snapshot);

public slots:
    void start();
    void pause();

private:
    // Probe and plan
    void beginAttempt();
    QNetworkRequest buildRequest(const QUrl &target) const;
    void handleProbeResponse();
    void onProbeFinished();
    void releaseProbe();
    QString httpStatusMessage(int status) const;
    QNetworkAccessManager *createManager();

    // Partial file and checkpoint
    QString partFilePath() const;
    QString checkpointFilePath() const;
    void preparePartialFile(qint64 probedTotal, bool probedRangeSupported, const QByteArray &probedEtag,
                            const QByteArray &probedLastModified);
    bool reserveSpace(bool createdNow);
    void abandonPartialFile(bool createdNow, const QString &message);
    bool loadCheckpoint(qint64 probedTotal, bool probedRangeSupported, const QByteArray &probedEtag,
                        const QByteArray &probedLastModified);
    bool writeCheckpoint();
    ResumeCheckpoint::Contents checkpointContents() const;
    bool commitCheckpoint(const ResumeCheckpoint::Contents &contents) const;

    // Transfer
    void beginTransfer();
    void startSegment(int index);
    void onSegmentReadyRead(int index);
    qint64 readSegment(int index, qint64 budget);
    void servePacedReads();
    void onSegmentFinished(int index);
    bool validateSegmentResponse(int index);
    void onProgressTick();
    void advanceBackgroundSync(qint64 now);

    // Endings
    void failAttempt(const QString &message, bool retryable);
    void stopTransfers();
    void abortReply(QNetworkReply *reply);
    void completeDownload();
    void beginVerification();
    void onVerificationFinished(int generation);
    void finishCompletion();

    qint64 receivedSum() const;
    void publishSnapshot();

    QString id;
    QUrl url;
    QString destination;
    int connections;
    RequestContext context;
    QString status = DownloadStatus::Queued;
    QString error;
    qint64 total = -1;
    bool rangeSupported = false;
    bool resumable = false;
    bool running = false;
    // The validators that guard a resume: a strong ETag and Last-Modified.
    QByteArray etag;
    QByteArray lastModified;
    // The probe's ETag as sent, weak or strong: a reply with another one is of another version.
    QByteArray versionTag;
    // Where this attempt's ranges are fetched: the probe's URL after its redirects.
    QUrl transferUrl;
    QList<Segment> segments;
    QFile *partFile;
    QNetworkCookieJar *cookieJar;
    QNetworkAccessManager *probeManager = nullptr;
    QList<QNetworkAccessManager *> segmentManagers;
    QNetworkReply *probeReply = nullptr;
    QTimer *progressTimer = nullptr;
    QTimer *retryTimer = nullptr;
    int retryCount = 0;
    QElapsedTimer clock;
    qint64 lastReceived = 0;
    qint64 lastTickMs = 0;
    qint64 lastCheckpointMs = 0;
    TransferRate::Average rate;
    double speed = 0;

    // The checksum the file must match before it takes its name; empty for none.
    QString checksum;
    ChecksumRules::Checksum expectedChecksum;
    bool checksumValid = true;
    // The live limit of this download's reads, and the pacing that keeps to it.
    std::shared_ptr<const RateShare> rateLimit;
    ReadPacer *pacer = nullptr;
    // Paced reads serve the segments in turn, starting one further each time.
    int nextPacedSegment = 0;
    // The check of the finished file, while "Verifying"; each check has a number of its own, so
    // that the outcome of one that was cancelled is never taken for the next.
    std::unique_ptr<ChecksumVerifier> verifier;
    int verification = 0;
    qint64 verifiedBytes = 0;

    // Set while the engine aborts a reply itself, so that only a transfer time-out is ever taken
    // for a cancelled reply.
    bool abortingReply = false;
    // One reused buffer between the replies and the partial file.
    QByteArray readBuffer;
    // The disk sync running on another thread, and for a periodic checkpoint the counts captured
    // before it began: only bytes that sync covers may be claimed on disk.
    std::shared_ptr<BackgroundSync> diskSync;
    std::optional<ResumeCheckpoint::Contents> checkpointAwaitingSync;
    // Once a sync of the partial file failed, the system may have dropped the unwritten pages and a
    // later sync can succeed without them: no checkpoint of this opening may claim bytes any more.
    bool partFileSyncFailed = false;
};
