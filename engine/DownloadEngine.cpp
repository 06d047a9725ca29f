#include "engine/DownloadEngine.h"

#include "engine/BackgroundSync.h"
#include "engine/BrowserHandOff.h"
#include "engine/ChecksumRules.h"
#include "engine/ChecksumVerifier.h"
#include "engine/DownloadRules.h"
#include "engine/FreeSpaceRules.h"
#include "engine/ReadPacer.h"
#include "engine/RequestContextRules.h"
#include "platform/AdvisoryLock.h"
#include "platform/DiskSpace.h"
#include "platform/FileSystem.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr int progressIntervalMs = 200;
constexpr qint64 checkpointIntervalMs = 2000;
constexpr int transferTimeoutMs = 30000;
constexpr qint64 probeBufferSize = 65536;
constexpr qint64 segmentBufferSize = 262144;
constexpr int automaticRetries = 3;
constexpr qint64 unlimited = std::numeric_limits<qint64>::max();
// Paced reads smaller than this cost more in system calls than they are worth.
constexpr qint64 smallestPacedRead = 65536;

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

const QString closedEarlyMessage = QStringLiteral("The connection closed before the segment was complete.");
const QString destinationTakenMessage =
    QStringLiteral("The destination file already exists. Choose a different file name.");
const QString busyMessage = QStringLiteral("This file is already being downloaded by another program.");

} // namespace

DownloadEngine::DownloadEngine(DownloadSpec spec, QObject *parent)
    : QObject(parent)
    , id(std::move(spec.id))
    , url(std::move(spec.url))
    , destination(std::move(spec.destination))
    , connections(std::clamp(spec.connections, 1, 16))
    , context(std::move(spec.context))
    , partFile(new QFile(this))
    , cookieJar(new QNetworkCookieJar(this))
    , checksum(std::move(spec.checksum))
    , rateLimit(std::move(spec.rateLimit))
{
    for (const QNetworkCookie &cookie : RequestContextRules::networkCookies(context, url))
        cookieJar->insertCookie(cookie);
    QString problem;
    checksumValid = checksum.isEmpty() || ChecksumRules::parse(checksum, &expectedChecksum, &problem);
}

// Replies die with their managers after this body has run; none of their signals may reach a
// half-destroyed engine.
DownloadEngine::~DownloadEngine()
{
    running = false;
    // Its thread must not call back into an engine that is going away.
    verifier.reset();
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
        probeManager = createManager();
    if (!progressTimer) {
        progressTimer = new QTimer(this);
        progressTimer->setInterval(progressIntervalMs);
        connect(progressTimer, &QTimer::timeout, this, &DownloadEngine::onProgressTick);
        retryTimer = new QTimer(this);
        retryTimer->setSingleShot(true);
        // A coarse timer may fire up to 5% early; the retry schedule is promised in whole seconds.
        retryTimer->setTimerType(Qt::PreciseTimer);
        connect(retryTimer, &QTimer::timeout, this, &DownloadEngine::beginAttempt);
        pacer = new ReadPacer(
            rateLimit, [this] { servePacedReads(); }, this);
    }
    error.clear();

    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1StringView("https") && scheme != QLatin1StringView("http"))) {
        failAttempt(QStringLiteral("Enter a valid HTTP or HTTPS URL."), false);
        return;
    }
    if (pathIsTaken(destination)) {
        failAttempt(destinationTakenMessage, false);
        return;
    }
    // Only a list edited by hand can carry one; fetching a file that can never be checked helps nobody.
    if (!checksumValid) {
        failAttempt(QStringLiteral("The expected checksum of this download is not valid."), false);
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
    return RequestContextRules::downloadRequest(target, context, transferTimeoutMs);
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
    const BrowserHandOff::Verdict handOff =
        BrowserHandOff::judgeProbe(context, probeReply->rawHeader("Content-Type"), probed.total);
    if (handOff != BrowserHandOff::Verdict::Accept) {
        failAttempt(BrowserHandOff::wrongFileMessage(handOff), false);
        return;
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

// The site refusing a browser download most likely refused the browser's session, which expires.
QString DownloadEngine::httpStatusMessage(int status) const
{
    const QString refusal = BrowserHandOff::refusalMessage(context, status);
    return refusal.isEmpty() ? QStringLiteral("Server returned HTTP %1.").arg(status) : refusal;
}

// Every connection of the download shares the one jar, so that a cookie a redirect hands out to
// the probe reaches the ranges too.
QNetworkAccessManager *DownloadEngine::createManager()
{
    auto *manager = new QNetworkAccessManager(this);
    manager->setCookieJar(cookieJar);
    // The manager takes the jar as its child; the engine keeps it for all of them.
    cookieJar->setParent(this);
    return manager;
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
    bool checkpointExists = pathIsTaken(checkpointFilePath());
    // A crash between the final rename and the checkpoint's removal leaves the checkpoint of a
    // finished download alone; it describes nothing that is still to come.
    if (!partExists && checkpointExists) {
        QFile checkpoint(checkpointFilePath());
        if (checkpoint.open(QIODevice::ReadOnly) &&
            ResumeCheckpoint::recordsFinishedDownload(checkpoint.readAll(), destination)) {
            checkpoint.close();
            checkpointExists = !QFile::remove(checkpointFilePath());
        }
    }
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
        // It appeared since it was looked for: another program is starting on it this moment.
        const bool appeared = !partExists && pathIsTaken(partFilePath());
        failAttempt(appeared ? busyMessage
                             : QStringLiteral("Cannot create partial file: %1").arg(partFile->errorString()),
                    false);
        return;
    }
    // Whoever holds the lock works on the file; this engine leaves everything as it found it.
    if (AdvisoryLock::tryLock(partFile->handle()) == AdvisoryLock::Result::HeldElsewhere) {
        abandonPartialFile(false, busyMessage);
        return;
    }
    // The program that held the lock a moment ago may have finished the file meanwhile: it renames
    // the partial file before it lets go of it.
    if (pathIsTaken(destination)) {
        abandonPartialFile(!partExists, destinationTakenMessage);
        return;
    }

    if (segments.isEmpty()) {
        if (!partFile->resize(0)) {
            failAttempt(QStringLiteral("Cannot reset partial file: %1").arg(partFile->errorString()), false);
            return;
        }
        segments = DownloadRules::planSegments(total, rangeSupported, versionKnown ? connections : 1);
    }
    if (!reserveSpace(!partExists))
        return;

    if (!writeCheckpoint()) {
        failAttempt(QStringLiteral("Cannot save resume information."), false);
        return;
    }
    if (total == 0)
        completeDownload();
    else
        beginTransfer();
}

// A file that cannot fit fails before a single range is asked for, rather than after fetching
// most of it with no room left for its checkpoint either. A resumed file needs room only for
// what it lacks.
bool DownloadEngine::reserveSpace(bool createdNow)
{
    if (total <= 0)
        return true;
    const int handle = partFile->handle();
    const qint64 needed = FreeSpaceRules::stillNeeded(total, DiskSpace::allocatedBytes(handle));
    const qint64 available = DiskSpace::availableBytes(partFilePath());
    if (DiskSpace::reserve(handle, total) != DiskSpace::Reservation::NoRoom)
        return true;
    abandonPartialFile(createdNow, FreeSpaceRules::notEnoughSpaceMessage(needed, available));
    return false;
}

// Ends the attempt before anything was written: a partial file made for it goes again, so that
// nothing is left behind, and one found on the disk stays as it was, its checkpoint too.
void DownloadEngine::abandonPartialFile(bool createdNow, const QString &message)
{
    if (createdNow)
        QFile::remove(partFilePath());
    partFile->close();
    failAttempt(message, false);
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
    segment.finishPending = false;
    while (segmentManagers.size() <= index)
        segmentManagers.append(createManager());

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
    // Under a limit every read waits its turn, so that no connection starves the others.
    if (pacer->isPacing())
        pacer->serveWhenDue();
    else
        readSegment(index, unlimited);
}

// Moves up to `budget` bytes that the reply holds into the partial file; how many it moved. A
// failure ends the attempt.
qint64 DownloadEngine::readSegment(int index, qint64 budget)
{
    QNetworkReply *reply = segments.at(index).reply;
    qint64 moved = 0;
    while (moved < budget && reply->bytesAvailable() > 0) {
        const qint64 length = reply->read(readBuffer.data(), std::min(segmentBufferSize, budget - moved));
        if (length <= 0)
            break;
        Segment &segment = segments[index];
        if (total >= 0 && length > segment.remaining()) {
            failAttempt(QStringLiteral("The response exceeded its expected size."), false);
            return moved;
        }
        QString reason;
        if (!FileSystem::writeAt(partFile->handle(), readBuffer.constData(), length,
                                 segment.start + segment.received, &reason)) {
            failAttempt(QStringLiteral("Disk write failed: %1").arg(reason), false);
            return moved;
        }
        segment.received += length;
        moved += length;
    }
    return moved;
}

// The paced reads: what the bucket allows is split evenly among the segments whose replies hold
// data, but never into reads too small to be worth their cost; the segments take turns, starting
// after the last one served, so that none goes unread long enough to time out. Without a limit
// (lifted meanwhile) everything is read at once.
void DownloadEngine::servePacedReads()
{
    if (!running || status != DownloadStatus::Downloading || segments.isEmpty())
        return;
    const bool pacing = pacer->isPacing();
    qint64 allowance = pacing ? pacer->allowance() : unlimited;
    const int count = int(segments.size());
    QList<int> waiting;
    for (int k = 0; k < count; ++k) {
        const int index = (nextPacedSegment + k) % count;
        const Segment &segment = segments.at(index);
        if (segment.reply && segment.validated && segment.reply->bytesAvailable() > 0)
            waiting.append(index);
    }
    bool moreWaiting = false;
    for (qsizetype k = 0; k < waiting.size() && allowance > 0; ++k) {
        const int index = waiting.at(k);
        const qint64 part =
            pacing ? std::max(allowance / (waiting.size() - k), std::min(allowance, smallestPacedRead))
                   : unlimited;
        const qint64 moved = readSegment(index, part);
        if (!running)
            return;
        nextPacedSegment = (index + 1) % count;
        if (pacing) {
            allowance -= moved;
            pacer->consume(moved);
        }
        Segment &segment = segments[index];
        if (segment.reply->bytesAvailable() > 0) {
            moreWaiting = true;
        } else if (segment.finishPending) {
            segment.finishPending = false;
            onSegmentFinished(index);
            if (!running)
                return;
        }
    }
    if (pacing && (moreWaiting || allowance <= 0))
        pacer->serveWhenDue();
}

void DownloadEngine::onSegmentFinished(int index)
{
    if (!running || abortingReply || !segments.at(index).reply)
        return;
    onSegmentReadyRead(index);
    if (!running || !segments.at(index).reply)
        return;
    QNetworkReply *reply = segments.at(index).reply;
    // Paced reads left part of the body in the reply: the segment ends once that has been read.
    if (segments.at(index).validated && reply->bytesAvailable() > 0) {
        segments[index].finishPending = true;
        return;
    }
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
    if (status == DownloadStatus::Verifying) {
        if (verifier)
            verifiedBytes = verifier->hashedBytes();
        publishSnapshot();
        return;
    }
    const qint64 now = clock.elapsed();
    const qint64 sum = receivedSum();
    rate = TransferRate::advance(rate, sum - lastReceived, now - lastTickMs);
    speed = TransferRate::shownSpeed(rate);
    lastReceived = sum;
    lastTickMs = now;
    advanceBackgroundSync(now);
    if (running)
        publishSnapshot();
    // A limit lifted or raised meanwhile frees what the replies hold without waiting for the pacer.
    servePacedReads();
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
    if (pacer)
        pacer->stop();
    verifier.reset();
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
    if (checksum.isEmpty())
        finishCompletion();
    else
        beginVerification();
}

// Every byte is on the disk and flushed; the file keeps its partial name until it has been found
// to match. The engine's thread stays free meanwhile, so that a pause is served at once.
void DownloadEngine::beginVerification()
{
    speed = 0;
    verifiedBytes = 0;
    status = DownloadStatus::Verifying;
    const int generation = ++verification;
    verifier =
        std::make_unique<ChecksumVerifier>(partFilePath(), expectedChecksum.algorithm, [this, generation] {
            QMetaObject::invokeMethod(
                this, [this, generation] { onVerificationFinished(generation); }, Qt::QueuedConnection);
        });
    if (!progressTimer->isActive())
        progressTimer->start();
    publishSnapshot();
}

void DownloadEngine::onVerificationFinished(int generation)
{
    if (!verifier || generation != verification || status != DownloadStatus::Verifying)
        return;
    const std::unique_ptr<ChecksumVerifier> finished = std::move(verifier);
    verifiedBytes = finished->hashedBytes();
    const QByteArray actual = finished->digestHex();
    if (actual.isEmpty()) {
        failAttempt(
            QStringLiteral("Could not read the downloaded file to verify it: %1").arg(finished->errorText()),
            false);
        return;
    }
    if (actual != expectedChecksum.hex) {
        // Which bytes are wrong cannot be known: the checkpoint keeps the plan and the partial file
        // stays, but nothing counts as received, so that Retry fetches every range again.
        for (Segment &segment : segments)
            segment.received = 0;
        failAttempt(ChecksumRules::mismatchMessage(expectedChecksum, actual), false);
        return;
    }
    finishCompletion();
}

void DownloadEngine::finishCompletion()
{
    // Renamed while still open, and so still locked: another program that tries the lock meanwhile
    // is refused, and one that comes later finds the finished file, not a partial file to redo.
    QString reason;
    const bool renamed = FileSystem::renameNoReplace(partFilePath(), destination, &reason);
    partFile->close();
    if (!renamed) {
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
    // The browser's session has served its purpose; no file keeps it longer than the download.
    context = RequestContext();
    cookieJar->deleteLater();
    cookieJar = new QNetworkCookieJar(this);
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
    snapshot.context = context;
    snapshot.speed = speed;
    snapshot.received = receivedSum();
    snapshot.segments.reserve(segments.size());
    for (const Segment &segment : segments)
        snapshot.segments.append({segment.start, segment.end, segment.received});
    snapshot.checksum = checksum;
    snapshot.verified = verifiedBytes;
    emit updated(snapshot);
}
