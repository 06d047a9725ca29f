#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"
#include "queue/QueueEntry.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <functional>

// The user's downloads in the order they were added, each with one worker thread and one engine,
// and their persistence in queue.json. Lives on the GUI thread; engines report back only through
// queued copies of their snapshots, so nothing here needs a lock.
//
// Ids are unique; a destination appears at most once. Operations on an id that is not in the list
// do nothing.
class DownloadList : public QObject
{
    Q_OBJECT

public:
    // Builds the engine of one download. The object must offer the slots "start" and "pause" and
    // the signal "updated(DownloadSnapshot)"; it is created without a parent.
    using EngineFactory = std::function<QObject *(const DownloadSpec &spec)>;

    explicit DownloadList(QObject *parent = nullptr);
    explicit DownloadList(EngineFactory engineFactory, QObject *parent = nullptr);
    // Stops every engine that is still running; does not save.
    ~DownloadList() override;

    DownloadList(const DownloadList &) = delete;
    DownloadList &operator=(const DownloadList &) = delete;

    // Reads queue.json once at start-up: repairs each download against its destination on disk
    // and creates its engine without starting it. Never saves. Failures are reported through
    // statusMessage.
    void loadQueue();
    // Writes the whole list atomically; false (and a status message) when the file could not be
    // replaced, in which case the previous file is untouched. The list in memory never changes.
    bool saveQueue();

    // Creates the download's thread and engine (not started) and appends it to the order. An
    // entry with the same id is stopped and replaced. Refused (false) when the id is empty or
    // another download already has this destination. Does not save.
    bool addDownload(const DownloadSnapshot &snapshot);
    // Stops the engine (waiting for its pause), forgets the download, saves and reports. Files
    // on disk are left alone.
    void removeDownload(const QString &id);
    // Stops the engine and forgets the download without saving or reporting: for taking back an
    // entry whose addition could not be saved, or before re-adding an id with a new spec.
    void discardDownload(const QString &id);
    // Replaces the stored state of a download and keeps its engine; does not save. Refused
    // (false) when the snapshot carries another id or a destination another download has.
    bool replaceSnapshot(const QString &id, const DownloadSnapshot &snapshot);

    // Commands reach the engine as queued calls; their effect shows when it reports back.
    void startDownload(const QString &id);
    void pauseDownload(const QString &id);
    // Pauses every download that is running; others are left as they are.
    void pauseAll();

    // Synchronous pause of the download's engine (its resume state is on disk on return), then
    // its thread is ended and waited for. The stored state stays as it was.
    void stopEngine(const QString &id);

    // Stops every engine, takes the reports they sent while pausing, then saves once, so that
    // the file holds the final byte counts. From here on snapshots are ignored. Runs once.
    void shutdown();
    bool shuttingDown() const { return isShuttingDown; }

    QStringList ids() const { return order; }
    QList<DownloadSnapshot> snapshots() const;
    bool contains(const QString &id) const { return entries.contains(id); }
    // The entry of a download, or null; valid until the list next changes.
    const QueueEntry *entry(const QString &id) const;
    int count() const { return int(order.size()); }
    bool hasActiveDownloads() const;
    QStringList destinations() const;
    // The id of the download whose destination names the same file as `path`, or empty.
    QString idWithDestination(const QString &path) const;

public slots:
    // Takes one engine report: stores it and saves when the status changed. Reports for an id no
    // longer in the list, or that arrive during shutdown, are dropped.
    void onEngineUpdated(const DownloadSnapshot &snapshot);

signals:
    // The list or a download's state changed; the view should be refreshed.
    void changed();
    // An engine's report changed the stored state of one download. Emitted just before the
    // changed() of that report, so that a view can bring that one download up to date instead
    // of every one.
    void downloadUpdated(const QString &id);
    // An English sentence for the status bar and how long to show it.
    void statusMessage(const QString &text, int timeoutMs);

private:
    enum class FinalReport
    {
        Drop,
        Take
    };
    void stopEngine(QueueEntry &entry, FinalReport finalReport = FinalReport::Drop);
    void invokeOnEngine(const QString &id, const char *slot);

    EngineFactory engineFactory;
    QStringList order;
    QMap<QString, QueueEntry> entries;
    // Destination key to id, so that adding to a long list does not compare every destination.
    QHash<QString, QString> destinationOwners;
    bool isShuttingDown = false;
    bool takingFinalReports = false;
};
