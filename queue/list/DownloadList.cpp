#include "queue/list/DownloadList.h"

#include "engine/DownloadEngine.h"
#include "engine/DownloadStatus.h"
#include "platform/PrivateFiles.h"
#include "platform/ProcessResources.h"
#include "queue/list/EngineReportRelay.h"
#include "queue/list/QueueRules.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>

namespace {

constexpr int listFailureTimeoutMs = 10000;
constexpr int removalTimeoutMs = 6000;
// What one more download may open: its thread's wake-up handle, up to sixteen connections, the
// partial file, checkpoint writes and name lookups, with room to spare. Running out inside a new
// thread aborts the whole program, so a start that would come close is refused instead.
constexpr int descriptorsPerDownload = 32;

QObject *createDownloadEngine(const DownloadSpec &spec)
{
    return new DownloadEngine(spec);
}

DownloadSpec specOf(const DownloadSnapshot &snapshot)
{
    DownloadSpec spec{snapshot.id, snapshot.url, snapshot.destination, snapshot.connections,
                      snapshot.context};
    spec.checksum = snapshot.checksum;
    return spec;
}

bool sameSpec(const DownloadSnapshot &first, const DownloadSnapshot &second)
{
    return first.url == second.url && first.destination == second.destination &&
           first.connections == second.connections && first.context == second.context &&
           first.checksum == second.checksum;
}

} // namespace

DownloadList::DownloadList(QObject *parent)
    : DownloadList(createDownloadEngine, parent)
{
}

DownloadList::DownloadList(EngineFactory engineFactory, QObject *parent)
    : QObject(parent)
    , engineFactory(std::move(engineFactory))
{
    pendingSave.setSingleShot(true);
    pendingSave.setInterval(0);
    connect(&pendingSave, &QTimer::timeout, this, &DownloadList::saveQueue);
}

DownloadList::~DownloadList()
{
    stopEngines(runningEngines(), FinalReport::Drop);
}

void DownloadList::loadQueue()
{
    QFile file(QueueRules::queueFilePath());
    if (!file.exists())
        return;
    // A list that is there but cannot be read must not pass for an empty one: the next save
    // would replace it without a word.
    QueueRules::QueueReadResult read;
    if (file.open(QIODevice::ReadOnly))
        read = QueueRules::readQueue(file.readAll());
    file.close();
    if (!read.readable) {
        if (!moveUnreadableListAside()) {
            unreadableListInPlace = true;
            emit statusMessage(QStringLiteral("The saved download list could not be read."),
                               listFailureTimeoutMs, {});
        }
        return;
    }
    {
        // One refresh for the whole list rather than one per download.
        const QSignalBlocker oneRefresh(this);
        for (const DownloadSnapshot &snapshot : read.snapshots)
            addDownload(QueueRules::repairAgainstDisk(snapshot));
    }
    emit changed();
}

bool DownloadList::moveUnreadableListAside()
{
    const QString path = QueueRules::queueFilePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString kept = path + QStringLiteral(".unreadable-") + stamp;
    for (int attempt = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++attempt)
        kept = path + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(attempt);
    if (!QDir().rename(path, kept))
        return false;
    emit statusMessage(QStringLiteral("The saved download list could not be read. It was kept as %1."),
                       listFailureTimeoutMs, {QDir::toNativeSeparators(kept)});
    return true;
}

bool DownloadList::saveQueue()
{
    pendingSave.stop();
    const QString path = QueueRules::queueFilePath();
    bool saved = !unreadableListInPlace || moveUnreadableListAside();
    if (saved) {
        unreadableListInPlace = false;
        saved = PrivateFiles::makeFolder(QFileInfo(path).absolutePath()) &&
                PrivateFiles::replace(path, QueueRules::writeQueue(listedSnapshots()));
    }
    if (!saved)
        emit statusMessage(QStringLiteral("Could not save the download list."), listFailureTimeoutMs, {});
    return saved;
}

bool DownloadList::addDownload(const DownloadSnapshot &snapshot)
{
    if (snapshot.id.isEmpty())
        return false;
    const QString holder = idWithDestination(snapshot.destination);
    if (!holder.isEmpty() && holder != snapshot.id)
        return false;
    // Re-adding an id replaces the download; its old engine must not keep running unowned.
    if (const auto previous = entries.find(snapshot.id); previous != entries.end()) {
        stopEngine(snapshot.id);
        destinationOwners.remove(QueueRules::destinationKey(previous->snapshot.destination));
        order.removeAll(snapshot.id);
    }
    entries.insert(snapshot.id, QueueEntry{snapshot, nullptr, nullptr});
    order.append(snapshot.id);
    destinationOwners.insert(QueueRules::destinationKey(snapshot.destination), snapshot.id);
    emit changed();
    return true;
}

bool DownloadList::createEngine(QueueEntry &entry)
{
    auto *thread = new QThread(this);
    thread->setObjectName(QStringLiteral("Download-%1").arg(entry.snapshot.id));
    if (ProcessResources::spareDescriptors() >= descriptorsPerDownload)
        thread->start();
    if (!thread->isRunning()) {
        delete thread;
        return false;
    }
    DownloadSpec spec = specOf(entry.snapshot);
    spec.rateLimit = budget.shareFor(entry.snapshot.id, entry.snapshot.speedLimit);
    QObject *engine = engineFactory(spec);
    engine->moveToThread(thread);
    connect(thread, &QThread::finished, engine, &QObject::deleteLater);
    auto *relay = new EngineReportRelay(thread);
    const QMetaObject *engineType = engine->metaObject();
    const QMetaObject &relayType = EngineReportRelay::staticMetaObject;
    connect(engine, engineType->method(engineType->indexOfSignal("updated(DownloadSnapshot)")), relay,
            relayType.method(relayType.indexOfSlot("relay(DownloadSnapshot)")));
    connect(relay, &EngineReportRelay::reported, this, &DownloadList::onEngineUpdated);
    entry.thread = thread;
    entry.engine = engine;
    return true;
}

void DownloadList::removeDownload(const QString &id)
{
    if (!entries.contains(id))
        return;
    discardDownload(id);
    removedIds.insert(id);
    // A failed save has said so; the notice of the removal must not cover that at once.
    if (saveQueue())
        emit statusMessage(QStringLiteral("Removed from the list. Downloaded and partial files are kept."),
                           removalTimeoutMs, {});
}

bool DownloadList::wasRemoved(const QString &id) const
{
    return removedIds.contains(id);
}

void DownloadList::noteAttached(const QString &id, const QString &entryId)
{
    attachedIds.insert(id, entryId);
}

QString DownloadList::attachedTo(const QString &id) const
{
    return attachedIds.value(id);
}

void DownloadList::discardDownload(const QString &id)
{
    const auto found = entries.find(id);
    if (found == entries.end())
        return;
    stopEngine(id);
    destinationOwners.remove(QueueRules::destinationKey(found->snapshot.destination));
    entries.erase(found);
    order.removeAll(id);
    emit changed();
}

bool DownloadList::replaceSnapshot(const QString &id, const DownloadSnapshot &snapshot)
{
    const auto found = entries.find(id);
    if (found == entries.end() || snapshot.id != id)
        return false;
    const QString holder = idWithDestination(snapshot.destination);
    if (!holder.isEmpty() && holder != id)
        return false;
    DownloadSnapshot replacement = snapshot;
    // The browser's cookies and what it saw belong to the link it handed over, not to another one,
    // unless the new link comes with a session of its own.
    if (replacement.url != found->snapshot.url && replacement.context == found->snapshot.context)
        replacement.context = RequestContext();
    // An engine works on the file and address it was made for; its reports would put them back.
    if (!sameSpec(found->snapshot, replacement))
        stopEngine(id);
    storeSnapshot(*found, replacement);
    emit changed();
    return true;
}

void DownloadList::startDownload(const QString &id)
{
    const auto found = entries.find(id);
    if (found == entries.end())
        return;
    // A browser download must be confirmed before a single byte is fetched, and a completed one
    // has nothing left to fetch.
    const QString &status = found->snapshot.status;
    if (status == DownloadStatus::AwaitingConfirmation || status == DownloadStatus::Completed)
        return;
    if (!found->engine && !createEngine(*found)) {
        DownloadSnapshot failed = found->snapshot;
        failed.status = DownloadStatus::Error;
        failed.error = QStringLiteral("Could not start the download: the system has no room for another "
                                      "transfer. Pause another download and try again.");
        failed.speed = 0;
        storeSnapshot(*found, failed);
        emit changed();
        pendingSave.start();
        return;
    }
    QMetaObject::invokeMethod(found->engine, "start", Qt::QueuedConnection);
}

void DownloadList::pauseDownload(const QString &id)
{
    invokeOnEngine(id, "pause");
}

void DownloadList::pauseAll()
{
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (QueueRules::isActiveStatus(it->snapshot.status))
            invokeOnEngine(it.key(), "pause");
    }
}

void DownloadList::setOverallSpeedLimit(qint64 bytesPerSecond)
{
    budget.setOverall(bytesPerSecond);
    budget.rebalance(entries);
    emit changed();
}

void DownloadList::setSpeedLimit(const QString &id, qint64 bytesPerSecond)
{
    const auto found = entries.find(id);
    if (found == entries.end())
        return;
    found->snapshot.speedLimit = std::max<qint64>(0, bytesPerSecond);
    budget.rebalance(entries);
    emit changed();
    pendingSave.start();
}

void DownloadList::stopEngine(const QString &id)
{
    const auto found = entries.find(id);
    if (found != entries.end() && found->thread)
        stopEngines({&*found}, FinalReport::Drop);
}

void DownloadList::stopEngines(const QList<QueueEntry *> &running, FinalReport finalReport)
{
    // Every engine pauses and then ends its own thread, all at the same time; the GUI waits for
    // the slowest pause, not for the sum of them.
    for (const QueueEntry *entry : running) {
        QObject *engine = entry->engine;
        QMetaObject::invokeMethod(
            engine,
            [engine] {
                QMetaObject::invokeMethod(engine, "pause", Qt::DirectConnection);
                engine->thread()->quit();
            },
            Qt::QueuedConnection);
    }
    for (QueueEntry *entry : running) {
        // Returns once the engine's pause has returned, so its resume state is on disk.
        entry->thread->wait();
        // The reports the engine sent while pausing carry its final byte counts; they are
        // discarded with the relay below unless taken now.
        if (finalReport == FinalReport::Take) {
            takingFinalReports = true;
            QCoreApplication::sendPostedEvents(entry->thread->findChild<EngineReportRelay *>(),
                                               QEvent::MetaCall);
            takingFinalReports = false;
        }
        // The engine was deleted in its own thread when the thread finished.
        budget.forget(entry->snapshot.id);
        delete entry->thread;
        entry->thread = nullptr;
        entry->engine = nullptr;
    }
}

QList<QueueEntry *> DownloadList::runningEngines()
{
    QList<QueueEntry *> running;
    for (QueueEntry &entry : entries) {
        if (entry.thread)
            running.append(&entry);
    }
    return running;
}

void DownloadList::invokeOnEngine(const QString &id, const char *slot)
{
    const QueueEntry *found = entry(id);
    if (found && found->engine)
        QMetaObject::invokeMethod(found->engine, slot, Qt::QueuedConnection);
}

void DownloadList::storeSnapshot(QueueEntry &entry, const DownloadSnapshot &snapshot)
{
    // The index follows every change of a stored destination, whoever makes it.
    if (snapshot.destination != entry.snapshot.destination) {
        const QString oldKey = QueueRules::destinationKey(entry.snapshot.destination);
        if (destinationOwners.value(oldKey) == snapshot.id)
            destinationOwners.remove(oldKey);
        destinationOwners.insert(QueueRules::destinationKey(snapshot.destination), snapshot.id);
    }
    entry.snapshot = snapshot;
}

void DownloadList::shutdown()
{
    if (isShuttingDown)
        return;
    isShuttingDown = true;
    stopEngines(runningEngines(), FinalReport::Take);
    saveQueue();
}

QList<const DownloadSnapshot *> DownloadList::listedSnapshots() const
{
    QList<const DownloadSnapshot *> result;
    result.reserve(order.size());
    for (const QString &id : order)
        result.append(&entries.find(id)->snapshot);
    return result;
}

QList<DownloadSnapshot> DownloadList::snapshots() const
{
    QList<DownloadSnapshot> result;
    result.reserve(order.size());
    for (const QString &id : order)
        result.append(entries.value(id).snapshot);
    return result;
}

const QueueEntry *DownloadList::entry(const QString &id) const
{
    const auto found = entries.constFind(id);
    return found == entries.cend() ? nullptr : &*found;
}

bool DownloadList::hasActiveDownloads() const
{
    return std::any_of(entries.cbegin(), entries.cend(), [](const QueueEntry &entry) {
        return QueueRules::isActiveStatus(entry.snapshot.status);
    });
}

QStringList DownloadList::destinations() const
{
    QStringList result;
    result.reserve(order.size());
    for (const QString &id : order)
        result.append(entries.value(id).snapshot.destination);
    return result;
}

QString DownloadList::idWithDestination(const QString &path) const
{
    return destinationOwners.value(QueueRules::destinationKey(path));
}

void DownloadList::onEngineUpdated(const DownloadSnapshot &snapshot)
{
    if (isShuttingDown && !takingFinalReports)
        return;
    const auto found = entries.find(snapshot.id);
    if (found == entries.end())
        return;
    // The download's own limit is the list's: the engine does not know it.
    DownloadSnapshot report = snapshot;
    report.speedLimit = found->snapshot.speedLimit;
    if (takingFinalReports) {
        storeSnapshot(*found, report);
        return;
    }
    const bool statusChanged = found->snapshot.status != report.status;
    storeSnapshot(*found, report);
    if (statusChanged)
        budget.rebalance(entries);
    emit downloadUpdated(report.id);
    emit changed();
    if (statusChanged)
        pendingSave.start();
}
