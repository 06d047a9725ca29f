#include "engine/DownloadEngine.h"

#include "engine/BackgroundSync.h"
#include "engine/DownloadRules.h"
#include "platform/FileSystem.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int progressIntervalMs = 200;
constexpr qint64 checkpointIntervalMs = 2000;
constexpr int transferTimeoutMs = 30000;
constexpr qint64 probeBufferSize = 65536;
constexpr qint64 segmentBufferSize = 262144;
constexpr int automaticRetries = 3;

const QString partSuffix = QStringLiteral(".rushlet.part");
const QString checkpointSuffix = QStringLiteral(".rushlet.json");
const QString legacyPartSuffix = QStringLiteral(".brio.part");
const QString legacyCheckpointSuffix = QStringLiteral(".brio.json");

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// A dangling symbolic link is still something the engine must not write through or replace.
bool pathIsTaken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isEmptyRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink() && info.size() == 0;
}

QString networkErrorText(const QNetworkReply *reply)
{
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return QStringLiteral("The connection timed out or was interrupted.");
    return reply->errorString();
}

bool isRetryable(const QNetworkReply *reply)
{
    const int status = httpStatus(reply);
    if (status >= 400)
        return DownloadRules::isRetryableStatus(status);
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return true;
    default:
        return false;
    }
}

QString httpStatusMessage(int status)
{
    return QStringLiteral("Server returned HTTP %1.").arg(status);
}

const QString closedEarlyMessage = QStringLiteral("The connection closed before the segment was complete.");

} // namespace

DownloadEngine::DownloadEngine(DownloadSpec spec, QObject *parent)
    : QObject(parent)
    , id(std::move(spec.id))
    , url(std::move(spec.url))
    , destination(std::move(spec.destination))
    , connections(std::clamp(spec.connections, 1, 16))
    , partFile(new QFile(this))
{
}

// Replies die with their managers after this body has run; none of their signals may reach a
// half-destroyed engine.
DownloadEngine::~DownloadEngine()
{
    running = false;
    if (probeReply)
        probeReply->disconnect(this);
    for (const Segment &segment : std::as_const(segments)) {
        if (segment.reply)
            segment.reply->disconnect(this);
    }
}

void DownloadEngine::start()
{
    if (running || status == DownloadStatus::Completed)
        return;
    if (retryTimer)
        retryTimer->stop();
    retryCount = 0;
    beginAttempt();
}

void DownloadEngine::pause()
{
    if (!running && status != DownloadStatus::Retrying)
        return;
    stopTransfers();
    const bool saved = writeCheckpoint();
    partFile->close();
    if (saved) {
        status = DownloadStatus::Paused;
        error.clear();
    } else {
        status = DownloadStatus::Error;
        error = QStringLiteral("Could not save resume information. The previous checkpoint will be used.");
    }
    publishSnapshot();
}

// ---- Probe and plan ---------------------------------------------------------------------------

void DownloadEngine::beginAttempt()
{
    if (!probeManager)
        probeManager = new QNetworkAccessManager(this);
    if (!progressTimer) {
        progressTimer = new QTimer(this);
        progressTimer->setInterval(progressIntervalMs);
        connect(progressTimer, &QTimer::timeout, this, &DownloadEngine::onProgressTick);
        retryTimer = new QTimer(this);
        retryTimer->setSingleShot(true);
        // A coarse timer may fire up to 5% early; the retry schedule is promised in whole seconds.
        retryTimer->setTimerType(Qt::PreciseTimer);
        connect(retryTimer, &QTimer::timeout, this, &DownloadEngine::beginAttempt);
    }
    error.clear();

    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1StringView("https") && scheme != QLatin1StringView("http"))) {
        failAttempt(QStringLiteral("Enter a valid HTTP or HTTPS URL."), false);
        return;
    }
    if (pathIsTaken(destination)) {
        failAttempt(QStringLiteral("The destination file already exists. Choose a different file name."),
                    false);
        return;
    }

    running = true;
    status = DownloadStatus::Connecting;
    speed = 0;
    publishSnapshot();

    QNetworkRequest request = buildRequest(url);
    request.setRawHeader("Range", "bytes=0-0");
    probeReply = probeManager->get(request);
    probeReply->setReadBufferSize(probeBufferSize);
    connect(probeReply, &QNetworkReply::metaDataChanged, this, &DownloadEngine::handleProbeResponse);
    connect(probeReply, &QNetworkReply::finished, this, &DownloadEngine::onProbeFinished);
}

QNetworkRequest DownloadEngine::buildRequest(const QUrl &target) const
{
    QNetworkRequest request(target);
    request.setRawHeader("User-Agent", "Rushlet/" RUSHLET_VERSION);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // Over HTTP/2 a reply's read-buffer limit is ignored and a whole body can pile up in memory;
    // one connection per range gains nothing from multiplexing anyway.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(transferTimeoutMs);
    return request;
}

void DownloadEngine::handleProbeResponse()
{
    if (!probeReply || !running)
        return;
    const int status = httpStatus(probeReply);
    // Headers of a redirect hop that is being followed, or no headers yet.
    if (status == 0 || (status >= 300 && status <= 399))
        return;

    const DownloadRules::ProbeResult probed = DownloadRules::readProbeAnswer(
        {status, probeReply->rawHeader("Content-Range"), probeReply->rawHeader("Content-Length"),
         probeReply->rawHeader("Content-Encoding"), probeReply->rawHeader("ETag"),
         probeReply->rawHeader("Last-Modified")});
    switch (probed.verdict) {
    case DownloadRules::ProbeResult::Verdict::Encoded:
        failAttempt(QStringLiteral("Server returned an encoded response; byte offsets are unsafe."), false);
        return;
    case DownloadRules::ProbeResult::Verdict::InvalidRange:
        failAttempt(QStringLiteral("The server returned an invalid byte range."), false);
        return;
    case DownloadRules::ProbeResult::Verdict::Refused:
        failAttempt(httpStatusMessage(status), DownloadRules::isRetryableStatus(status));
        return;
    case DownloadRules::ProbeResult::Verdict::Accepted:
        break;
    }
    versionTag = probed.versionTag;
    // A redirector may spread requests over mirrors; every range of this attempt comes from the one
    // the probe reached.
    transferUrl = probeReply->url();
    releaseProbe();
    preparePartialFile(probed.total, probed.rangeSupported, probed.etag, probed.lastModified);
}

void DownloadEngine::onProbeFinished()
{
    if (!probeReply || abortingReply)
        return;
    handleProbeResponse();
    if (!probeReply)
        return;
    // No decision: a network error, no status at all, or a redirect that was refused.
    const QString reason = networkErrorText(probeReply);
    const bool retryable = isRetryable(probeReply);
    failAttempt(QStringLiteral("Could not connect: %1").arg(reason), retryable);
}

void DownloadEngine::releaseProbe()
{
    QNetworkReply *reply = probeReply;
    probeReply = nullptr;
    abortReply(reply);
}

// ---- Partial file and checkpoint --------------------------------------------------------------

QString DownloadEngine::partFilePath() const
{
    return destination + partSuffix;
}

QString DownloadEngine::checkpointFilePath() const
{
    return destination + checkpointSuffix;
}

namespace {

// Sidecars of the earlier product are taken over once, and never over current ones. Two renames
// cannot be one atomic step, so a crash may leave one sidecar moved and its partner behind under the
// old name; the next start finishes the take-over from there. An earlier version moved the partial
// file first; the checkpoint goes first now, so that a crash in between leaves a checkpoint without
// its partial file, which restores nothing but refuses nothing either. A sidecar whose partner
// exists under both names is no take-over cut short, and stays where it is.
void migrateLegacySidecars(const QString &destination)
{
    const QString part = destination + partSuffix;
    const QString checkpoint = destination + checkpointSuffix;
    const QString legacyPart = destination + legacyPartSuffix;
    const QString legacyCheckpoint = destination + legacyCheckpointSuffix;
    const bool hasPart = pathIsTaken(part);
    const bool hasCheckpoint = pathIsTaken(checkpoint);
    const bool hasLegacyPart = pathIsTaken(legacyPart);
    const bool hasLegacyCheckpoint = pathIsTaken(legacyCheckpoint);
    if (!hasCheckpoint && hasLegacyCheckpoint && !(hasPart && hasLegacyPart))
        FileSystem::renameNoReplace(legacyCheckpoint, checkpoint, nullptr);
    if (!hasPart && hasLegacyPart && !(hasCheckpoint && hasLegacyCheckpoint))
        FileSystem::renameNoReplace(legacyPart, part, nullptr);
}

} // namespace

void DownloadEngine::preparePartialFile(qint64 probedTotal, bool probedRangeSupported,
                                        const QByteArray &probedEtag, const QByteArray &probedLastModified)
{
    segments.clear();
    total = probedTotal;
    rangeSupported = probedRangeSupported;
    etag = probedEtag;
    lastModified = probedLastModified;
    // Without a strong ETag or a date nothing tells two versions of the resource apart, so ranges
    // fetched over several connections could come from different ones.
    const bool versionKnown = !etag.isEmpty() || !lastModified.isEmpty();
    resumable = rangeSupported && versionKnown;

    if (!QDir().mkpath(QFileInfo(destination).absolutePath())) {
        failAttempt(QStringLiteral("Could not create the destination folder."), false);
        return;
    }
    migrateLegacySidecars(destination);

    const bool partExists = pathIsTaken(partFilePath());
    const bool checkpointExists = pathIsTaken(checkpointFilePath());
    // The partial file is created before its first checkpoint is on the disk; a crash in between
    // leaves it empty and alone. It holds nothing to protect, and refusing it would block this
    // destination for good.
    const bool orphanedEmptyPart = partExists && !checkpointExists && isEmptyRegularFile(partFilePath());
    if ((partExists || checkpointExists) && !orphanedEmptyPart) {
        if (!loadCheckpoint(total, rangeSupported, etag, lastModified)) {
            failAttempt(QStringLiteral("An unrecognized partial file exists at this location. "
                                       "Choose another file name."),
                        false);
            return;
        }
    }
    // A checkpoint without its partial file restores nothing.
    if (!partExists)
        segments.clear();

    partFile->setFileName(partFilePath());
    partFileSyncFailed = false;
    // Writes go to absolute offsets with pwrite, so Qt's buffer would only add a copy.
    QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Unbuffered;
    if (!partExists)
        mode |= QIODevice::NewOnly;
    if (!partFile->open(mode)) {
        failAttempt(QStringLiteral("Cannot create partial file: %1").arg(partFile->errorString()), false);
        return;
    }

    if (segments.isEmpty()) {
        if (!partFile->resize(0)) {
            failAttempt(QStringLiteral("Cannot reset partial file: %1").arg(partFile->errorString()), false);
            return;
        }
        segments = DownloadRules::planSegments(total, rangeSupported, versionKnown ? connections : 1);
    }

    if (!writeCheckpoint()) {
        failAttempt(QStringLiteral("Cannot save resume information."), false);
        return;
    }
    if (total == 0)
        completeDownload();
    else
        beginTransfer();
}

bool DownloadEngine::loadCheckpoint(qint64 probedTotal, bool probedRangeSupported,
                                    const QByteArray &probedEtag, const QByteArray &probedLastModified)
{
    QFile file(checkpointFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ResumeCheckpoint::Contents stored;
    if (!ResumeCheckpoint::read(file.readAll(), url, destination, &stored))
        return false;
    const QList<SegmentProgress> restored =
        ResumeCheckpoint::restorableSegments(stored, probedTotal, probedRangeSupported, probedEtag,
                                             probedLastModified, QFileInfo(partFilePath()).size());
    if (!restored.isEmpty()) {
        segments.clear();
        for (const SegmentProgress &segment : restored)
            segments.append(Segment{segment.start, segment.end, segment.received});
    }
    return true;
}

ResumeCheckpoint::Contents DownloadEngine::checkpointContents() const
{
    ResumeCheckpoint::Contents contents;
    contents.url = url;
    contents.destination = destination;
    contents.total = total;
    contents.etag = etag;
    contents.lastModified = lastModified;
    for (const Segment &segment : segments)
        contents.segments.append({segment.start, segment.end, segment.received});
    return contents;
}

bool DownloadEngine::commitCheckpoint(const ResumeCheckpoint::Contents &contents) const
{
    return PrivateFiles::replace(checkpointFilePath(), ResumeCheckpoint::toJson(contents));
}

// The checkpoint promises that its bytes survive a power failure, so they reach the disk first.
bool DownloadEngine::writeCheckpoint()
{
    if (!partFile->isOpen())
        return true;
    // The system reports a failed write-back once per open file, and the background sync works on
    // this same open file: if it heard of a failure, a sync here would succeed without the lost
    // bytes. So its answer is awaited and counts before anything more is claimed. A write-back
    // job's answer means nothing and is dropped.
    if (diskSync && checkpointAwaitingSync && !diskSync->wait())
        partFileSyncFailed = true;
    diskSync.reset();
    checkpointAwaitingSync.reset();
    if (partFileSyncFailed)
        return false;
    if (!partFile->flush() || !FileSystem::syncData(partFile->handle(), nullptr)) {
        partFileSyncFailed = true;
        return false;
    }
    return commitCheckpoint(checkpointContents());
}

// ---- Transfer ---------------------------------------------------------------------------------

void DownloadEngine::beginTransfer()
{
    status = DownloadStatus::Downloading;
    clock.start();
    lastCheckpointMs = 0;
    lastTickMs = 0;
    lastReceived = receivedSum();
    rate = {};
    progressTimer->start();
    publishSnapshot();

    if (total >= 1 && receivedSum() == total) {
        completeDownload();
        return;
    }
    if (readBuffer.size() != segmentBufferSize)
        readBuffer.resize(segmentBufferSize);
    for (int index = 0; index < segments.size() && running; ++index) {
        if (total < 0 || !segments.at(index).isComplete())
            startSegment(index);
    }
}

void DownloadEngine::startSegment(int index)
{
    Segment &segment = segments[index];
    QNetworkRequest request = buildRequest(transferUrl);
    if (rangeSupported) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(segment.start + segment.received) + '-' +
                                          QByteArray::number(segment.end));
        if (!etag.isEmpty())
            request.setRawHeader("If-Range", etag);
        else if (!lastModified.isEmpty())
            request.setRawHeader("If-Range", lastModified);
    }
    segment.validated = false;
    while (segmentManagers.size() <= index)
        segmentManagers.append(new QNetworkAccessManager(this));

    QNetworkReply *reply = segmentManagers.at(index)->get(request);
    segment.reply = reply;
    reply->setReadBufferSize(segmentBufferSize);
    // New headers (a redirect hop, or the network library sending the request again after a
    // connection closed before any body) must be checked afresh before their body is written.
    connect(reply, &QNetworkReply::metaDataChanged, this,
            [this, index] { segments[index].validated = false; });
    connect(reply, &QNetworkReply::readyRead, this, [this, index] { onSegmentReadyRead(index); });
    connect(reply, &QNetworkReply::finished, this, [this, index] { onSegmentFinished(index); });
}

bool DownloadEngine::validateSegmentResponse(int index)
{
    Segment &segment = segments[index];
    if (segment.validated)
        return true;
    if (!segment.reply)
        return false;
    QNetworkReply *reply = segment.reply;
    const int status = httpStatus(reply);
    if (status == 0)
        return false;
    if (status < 300) {
        bool acceptable;
        if (rangeSupported) {
            const DownloadRules::ContentRange range =
                DownloadRules::parseContentRange(reply->rawHeader("Content-Range"));
            acceptable = status == 206 && range.start == segment.start + segment.received &&
                         range.end == segment.end && range.total == total;
        } else {
            acceptable = status == 200;
        }
        if (!acceptable || !DownloadRules::isIdentityEncoding(reply->rawHeader("Content-Encoding"))) {
            failAttempt(QStringLiteral("Server changed the file or did not honor the requested range. "
                                       "Retry to recheck the file."),
                        false);
            return false;
        }
        const QByteArray replyEtag = reply->rawHeader("ETag");
        const QByteArray replyLastModified = reply->rawHeader("Last-Modified");
        // A weak ETag cannot guard a resume but still tells that the version changed.
        const bool changed = !versionTag.isEmpty()
                                 ? !replyEtag.isEmpty() && replyEtag != versionTag
                                 : !lastModified.isEmpty() && !replyLastModified.isEmpty() &&
                                       replyLastModified != lastModified;
        if (changed) {
            failAttempt(QStringLiteral("The remote file changed during download. Retry to restart safely."),
                        false);
            return false;
        }
        segment.validated = true;
        return true;
    }
    // A redirect hop that is being followed.
    if (status <= 399)
        return false;
    failAttempt(httpStatusMessage(status), DownloadRules::isRetryableStatus(status));
    return false;
}

void DownloadEngine::onSegmentReadyRead(int index)
{
    if (!running || abortingReply || !segments.at(index).reply || !validateSegmentResponse(index))
        return;
    QNetworkReply *reply = segments.at(index).reply;
    while (reply->bytesAvailable() > 0) {
        const qint64 length = reply->read(readBuffer.data(), segmentBufferSize);
        if (length <= 0)
            break;
        Segment &segment = segments[index];
        if (total >= 0 && length > segment.remaining()) {
            failAttempt(QStringLiteral("The response exceeded its expected size."), false);
            return;
        }
        QString reason;
        if (!FileSystem::writeAt(partFile->handle(), readBuffer.constData(), length,
                                 segment.start + segment.received, &reason)) {
            failAttempt(QStringLiteral("Disk write failed: %1").arg(reason), false);
            return;
        }
        segment.received += length;
    }
}

void DownloadEngine::onSegmentFinished(int index)
{
    if (!running || abortingReply || !segments.at(index).reply)
        return;
    onSegmentReadyRead(index);
    if (!running || !segments.at(index).reply)
        return;
    QNetworkReply *reply = segments.at(index).reply;
    if (reply->error() != QNetworkReply::NoError) {
        const QString reason = networkErrorText(reply);
        const bool retryable = isRetryable(reply);
        failAttempt(QStringLiteral("Transfer interrupted: %1").arg(reason), retryable);
        return;
    }
    if (!validateSegmentResponse(index)) {
        if (!running)
            return;
        // Finished cleanly yet never validated: without a status the connection ended before the
        // headers; with a redirect status, the redirect was not followed. Waiting would hang forever.
        const int status = httpStatus(reply);
        if (status == 0)
            failAttempt(closedEarlyMessage, true);
        else
            failAttempt(httpStatusMessage(status), false);
        return;
    }
    if (total < 0 || segments.at(index).isComplete()) {
        segments[index].reply = nullptr;
        reply->deleteLater();
        const bool othersRunning = std::any_of(segments.cbegin(), segments.cend(),
                                               [](const Segment &segment) { return segment.reply; });
        if (!othersRunning)
            completeDownload();
        return;
    }
    failAttempt(closedEarlyMessage, true);
}

void DownloadEngine::onProgressTick()
{
    const qint64 now = clock.elapsed();
    const qint64 sum = receivedSum();
    rate = TransferRate::advance(rate, sum - lastReceived, now - lastTickMs);
    speed = TransferRate::shownSpeed(rate);
    lastReceived = sum;
    lastTickMs = now;
    advanceBackgroundSync(now);
    if (running)
        publishSnapshot();
}

// The periodic checkpoint syncs on another thread and commits, once that sync is done, the counts
// captured before it began. Between checkpoints, write-back is started early so that syncs, the
// final one included, find little left to write.
void DownloadEngine::advanceBackgroundSync(qint64 now)
{
    if (diskSync && !diskSync->isFinished())
        return;
    if (diskSync) {
        const std::shared_ptr<BackgroundSync> finished = std::move(diskSync);
        diskSync.reset();
        if (checkpointAwaitingSync) {
            const ResumeCheckpoint::Contents captured = std::move(*checkpointAwaitingSync);
            checkpointAwaitingSync.reset();
            if (!finished->succeeded())
                partFileSyncFailed = true;
            if (partFileSyncFailed || !commitCheckpoint(captured)) {
                failAttempt(QStringLiteral("Cannot write the resume checkpoint."), false);
                return;
            }
        }
    }
    if (now - lastCheckpointMs >= checkpointIntervalMs) {
        lastCheckpointMs = now;
        if (partFile->flush())
            diskSync = BackgroundSync::start(partFile->handle(), BackgroundSync::Kind::DataSync);
        if (diskSync)
            checkpointAwaitingSync = checkpointContents();
        else if (!writeCheckpoint())
            failAttempt(QStringLiteral("Cannot write the resume checkpoint."), false);
        return;
    }
    diskSync = BackgroundSync::start(partFile->handle(), BackgroundSync::Kind::WriteBack);
}

// ---- Endings ----------------------------------------------------------------------------------

void DownloadEngine::failAttempt(const QString &message, bool retryable)
{
    stopTransfers();
    error = message;
    if (!writeCheckpoint()) {
        error += QStringLiteral(" Resume checkpoint could not be saved.");
        retryable = false;
    }
    partFile->close();
    status = DownloadStatus::Error;
    if (retryable) {
        if (retryCount >= automaticRetries) {
            error += QStringLiteral(" Automatic retries exhausted. Use Retry to try again.");
        } else {
            const int delaySeconds = 2 << retryCount;
            ++retryCount;
            status = DownloadStatus::Retrying;
            error += QStringLiteral(" Retrying in %1 seconds (attempt %2 of 3).")
                         .arg(delaySeconds)
                         .arg(retryCount);
            retryTimer->start(delaySeconds * 1000);
        }
    }
    publishSnapshot();
}

void DownloadEngine::stopTransfers()
{
    running = false;
    if (retryTimer)
        retryTimer->stop();
    if (progressTimer)
        progressTimer->stop();
    if (probeReply)
        releaseProbe();
    for (Segment &segment : segments) {
        if (QNetworkReply *reply = std::exchange(segment.reply, nullptr))
            abortReply(reply);
    }
    speed = 0;
}

// Disconnecting first keeps the abort's own finished() from reaching the engine; the flag covers
// anything that still would, so that a cancelled reply is only ever read as a time-out. A reply that
// failed or carries an error status is only deleted, which ends its request as well: aborting it
// makes the network library report a second error.
void DownloadEngine::abortReply(QNetworkReply *reply)
{
    reply->disconnect(this);
    if (reply->error() == QNetworkReply::NoError && httpStatus(reply) < 400) {
        abortingReply = true;
        reply->abort();
        abortingReply = false;
    }
    reply->deleteLater();
}

void DownloadEngine::completeDownload()
{
    if (!writeCheckpoint()) {
        failAttempt(QStringLiteral("Could not flush completed data to disk."), false);
        return;
    }
    partFile->close();
    QString reason;
    if (!FileSystem::renameNoReplace(partFilePath(), destination, &reason)) {
        failAttempt(QStringLiteral("Could not rename the completed file: %1").arg(reason), false);
        return;
    }
    QFile::remove(checkpointFilePath());
    stopTransfers();
    // Each manager keeps a thread of its own; a completed download never sends again, and a long
    // list of them must not hold sixteen idle threads apiece.
    if (probeManager)
        probeManager->deleteLater();
    probeManager = nullptr;
    for (QNetworkAccessManager *manager : std::as_const(segmentManagers))
        manager->deleteLater();
    segmentManagers.clear();
    total = receivedSum();
    status = DownloadStatus::Completed;
    publishSnapshot();
}

qint64 DownloadEngine::receivedSum() const
{
    qint64 sum = 0;
    for (const Segment &segment : segments)
        sum += segment.received;
    return sum;
}

void DownloadEngine::publishSnapshot()
{
    DownloadSnapshot snapshot;
    snapshot.id = id;
    snapshot.url = url;
    snapshot.destination = destination;
    snapshot.connections = connections;
    snapshot.status = status;
    snapshot.error = error;
    snapshot.total = total;
    snapshot.resumable = resumable;
    snapshot.speed = speed;
    snapshot.received = receivedSum();
    snapshot.segments.reserve(segments.size());
    for (const Segment &segment : segments)
        snapshot.segments.append({segment.start, segment.end, segment.received});
    emit updated(snapshot);
}
