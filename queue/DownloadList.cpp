#include "queue/DownloadList.h"

#include "engine/DownloadEngine.h"
#include "engine/DownloadStatus.h"
#include "queue/EngineReportRelay.h"
#include "queue/QueueRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QSaveFile>

namespace {

constexpr int listFailureTimeoutMs = 10000;
constexpr int removalTimeoutMs = 6000;

QObject *createDownloadEngine(const DownloadSpec &spec)
{
    return new DownloadEngine(spec);
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
}

DownloadList::~DownloadList()
{
    for (QueueEntry &entry : entries)
        stopEngine(entry);
}

void DownloadList::loadQueue()
{
    QFile file(QueueRules::queueFilePath());
    if (!file.exists())
        return;
    // A list that is there but cannot be read must not pass for an empty one: the next save
    // would replace it without a word.
    if (!file.open(QIODevice::ReadOnly)) {
        emit statusMessage(QStringLiteral("The saved download list could not be read."),
                           listFailureTimeoutMs);
        return;
    }
    const QueueRules::QueueReadResult read = QueueRules::readQueue(file.readAll());
    if (!read.readable) {
        emit statusMessage(QStringLiteral("The saved download list could not be read."),
                           listFailureTimeoutMs);
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

bool DownloadList::saveQueue()
{
    const QByteArray document = QueueRules::writeQueue(snapshots());
    const QString path = QueueRules::queueFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    const bool saved =
        file.open(QIODevice::WriteOnly) && file.write(document) == document.size() && file.commit();
    if (!saved)
        emit statusMessage(QStringLiteral("Could not save the download list."), listFailureTimeoutMs);
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
        stopEngine(*previous);
        destinationOwners.remove(QueueRules::destinationKey(previous->snapshot.destination));
        order.removeAll(snapshot.id);
    }

    auto *thread = new QThread(this);
    thread->setObjectName(QStringLiteral("Download-%1").arg(snapshot.id));
    QObject *engine =
        engineFactory(DownloadSpec{snapshot.id, snapshot.url, snapshot.destination, snapshot.connections});
    engine->moveToThread(thread);
    connect(thread, &QThread::finished, engine, &QObject::deleteLater);
    auto *relay = new EngineReportRelay(thread);
    const QMetaObject *engineType = engine->metaObject();
    const QMetaObject &relayType = EngineReportRelay::staticMetaObject;
    connect(engine, engineType->method(engineType->indexOfSignal("updated(DownloadSnapshot)")), relay,
            relayType.method(relayType.indexOfSlot("relay(DownloadSnapshot)")));
    connect(relay, &EngineReportRelay::reported, this, &DownloadList::onEngineUpdated);
    thread->start();

    entries.insert(snapshot.id, QueueEntry{snapshot, thread, engine});
    order.append(snapshot.id);
    destinationOwners.insert(QueueRules::destinationKey(snapshot.destination), snapshot.id);
    emit changed();
    return true;
}

void DownloadList::removeDownload(const QString &id)
{
    if (!entries.contains(id))
        return;
    discardDownload(id);
    saveQueue();
    emit statusMessage(QStringLiteral("Removed from the list. Downloaded and partial files are kept."),
                       removalTimeoutMs);
}

void DownloadList::discardDownload(const QString &id)
{
    const auto found = entries.find(id);
    if (found == entries.end())
        return;
    stopEngine(*found);
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
    destinationOwners.remove(QueueRules::destinationKey(found->snapshot.destination));
    destinationOwners.insert(QueueRules::destinationKey(snapshot.destination), id);
    found->snapshot = snapshot;
    emit changed();
    return true;
}

void DownloadList::startDownload(const QString &id)
{
    // A browser download must be confirmed before a single byte is fetched.
    const QueueEntry *found = entry(id);
    if (found && found->snapshot.status != DownloadStatus::AwaitingConfirmation)
        invokeOnEngine(id, "start");
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

void DownloadList::stopEngine(const QString &id)
{
    const auto found = entries.find(id);
    if (found != entries.end())
        stopEngine(*found);
}

void DownloadList::stopEngine(QueueEntry &entry, FinalReport finalReport)
{
    if (!entry.thread)
        return;
    if (entry.thread->isRunning()) {
        // Blocks until the engine's pause has returned, so its resume state is on disk.
        QMetaObject::invokeMethod(entry.engine, "pause", Qt::BlockingQueuedConnection);
        entry.thread->quit();
        entry.thread->wait();
        // The reports the engine sent while pausing carry its final byte counts; they are
        // discarded with the relay below unless taken now.
        if (finalReport == FinalReport::Take) {
            takingFinalReports = true;
            QCoreApplication::sendPostedEvents(entry.thread->findChild<EngineReportRelay *>(),
                                               QEvent::MetaCall);
            takingFinalReports = false;
        }
    } else {
        // A thread that never ran never finishes, so the engine's deleteLater would never fire.
        delete entry.engine;
    }
    delete entry.thread;
    entry.thread = nullptr;
    entry.engine = nullptr;
}

void DownloadList::invokeOnEngine(const QString &id, const char *slot)
{
    const QueueEntry *found = entry(id);
    if (found && found->engine)
        QMetaObject::invokeMethod(found->engine, slot, Qt::QueuedConnection);
}

void DownloadList::shutdown()
{
    if (isShuttingDown)
        return;
    isShuttingDown = true;
    for (QueueEntry &entry : entries)
        stopEngine(entry, FinalReport::Take);
    saveQueue();
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
    if (takingFinalReports) {
        found->snapshot = snapshot;
        return;
    }
    const bool statusChanged = found->snapshot.status != snapshot.status;
    found->snapshot = snapshot;
    emit downloadUpdated(snapshot.id);
    emit changed();
    if (statusChanged)
        saveQueue();
}
