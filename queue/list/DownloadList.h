#pragma once

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadSpec.h"
#include "queue/list/QueueEntry.h"
#include "queue/list/SpeedBudget.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

// The user's downloads in the order they were added, and their persistence in queue.json. A
// download gets its worker thread and engine when it is first started, so a long history of
// finished downloads costs no threads. Lives on the GUI thread; engines report back only through
// queued copies of their snapshots, so nothing here needs a lock.
//
// Ids are unique; a destination appears at most once, under the platform's rule for letter case.
// Operations on an id that is not in the list do nothing.
class DownloadList : public QObject
{
    Q_OBJECT

public:
    // Builds the engine of one download. The object must offer the slots "start" and "pause" and
    // the signal "updated(DownloadSnapshot)"; it is created without a parent.
    using EngineFactory = std::function<QObject *(const DownloadSpec &spec)>;

    explicit DownloadList(QObject *parent = nullptr);
    explicit DownloadList(EngineFactory engineFactory, QObject *parent = nullptr);
    // Stops every engine that is still running; does not save, not even a save still pending.
    ~DownloadList() override;

    DownloadList(const DownloadList &) = delete;
    DownloadList &operator=(const DownloadList &) = delete;

    // Reads queue.json once at start-up and repairs each download against its destination on
    // disk; nothing is started. Never saves. A file that cannot be read is moved aside to
    // "queue.json.unreadable-<date>-<time>" so that no save replaces it, and the status message
    // says where it went.
    void loadQueue();
    // Writes the whole list atomically, readable by the user only; false (and a status message)
    // when the file could not be replaced, in which case the previous file is untouched (a full
    // disk included). The list in memory never changes.
    bool saveQueue();

    // Appends the download to the order; it gets no thread or engine until it is started. An
    // entry with the same id is stopped and replaced. Refused (false) when the id is empty or
    // another download already has this destination. Does not save.
    bool addDownload(const DownloadSnapshot &snapshot);
    // Stops the engine (waiting for its pause), forgets the download, saves and reports. Files
    // on disk are left alone.
    void removeDownload(const QString &id);
    // Stops the engine and forgets the download without saving or reporting: for taking back an
    // entry whose addition could not be saved, or before re-adding an id with a new spec.
    void discardDownload(const QString &id);
    // Whether the user removed this id from the list (or declined it) since the program started.
    bool wasRemoved(const QString &id) const;
    // A download that was handed over again and given to an entry the list had, in this run: the
    // browser asks after it by its own id.
    void noteAttached(const QString &id, const QString &entryId);
    QString attachedTo(const QString &id) const;
    // Replaces the stored state of a download; does not save. When the address, destination or
    // connection count changes, an engine made for the old ones is stopped first (waiting for its
    // pause), and the next start makes one for the new state. A new address drops the browser's
    // context, which belongs to the old one, unless the snapshot brings another for the new one. Refused
    // (false) when the snapshot carries another id or a destination another download has.
    bool replaceSnapshot(const QString &id, const DownloadSnapshot &snapshot);

    // Commands reach the engine as queued calls; their effect shows when it reports back. Starting
    // creates the thread and engine on first use; when the system cannot give it a thread, the
    // download turns "Error" with the reason. A download awaiting confirmation or completed is not
    // started.
    void startDownload(const QString &id);
    void pauseDownload(const QString &id);
    // Pauses every download that is running; others are left as they are.
    void pauseAll();

    // The limit of all downloads together, in bytes per second (0 for none), kept in the settings;
    // running downloads follow a change within a second.
    qint64 overallSpeedLimit() const { return budget.overall(); }
    void setOverallSpeedLimit(qint64 bytesPerSecond);
    // The download's own limit (0 for none), saved with it; a running download follows at once.
    void setSpeedLimit(const QString &id, qint64 bytesPerSecond);

    // Synchronous pause of the download's engine (its resume state is on disk on return), then
    // its thread is ended and waited for. The stored state stays as it was.
    void stopEngine(const QString &id);

    // Stops every engine at once (each pauses and ends its own thread, and the wait is for the
    // slowest), takes the reports they sent while pausing, then saves once, so that the file holds
    // the final byte counts. From here on snapshots are ignored. Runs once.
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
    // Takes one engine report: stores it and saves when the status changed (status changes that
    // arrive together share one save). Reports for an id no longer in the list, or that arrive
    // during shutdown, are dropped.
    void onEngineUpdated(const DownloadSnapshot &snapshot);

signals:
    // The list or a download's state changed; the view should be refreshed.
    void changed();
    // An engine's report changed the stored state of one download. Emitted just before the
    // changed() of that report, so that a view can bring that one download up to date instead
    // of every one.
    void downloadUpdated(const QString &id);
    // An English sentence for the status bar and how long to show it. `arguments` fill the
    // sentence's %1, %2… after it has been translated.
    void statusMessage(const QString &text, int timeoutMs, const QStringList &arguments);

private:
    enum class FinalReport
    {
        Drop,
        Take
    };
    bool createEngine(QueueEntry &entry);
    void stopEngines(const QList<QueueEntry *> &running, FinalReport finalReport);
    QList<QueueEntry *> runningEngines();
    void invokeOnEngine(const QString &id, const char *slot);
    void storeSnapshot(QueueEntry &entry, const DownloadSnapshot &snapshot);
    bool moveUnreadableListAside();
    // The stored states in list order, without copying them.
    QList<const DownloadSnapshot *> listedSnapshots() const;

    EngineFactory engineFactory;
    SpeedBudget budget;
    QStringList order;
    QMap<QString, QueueEntry> entries;
    // Destination key to id, so that adding to a long list does not compare every destination.
    QHash<QString, QString> destinationOwners;
    // Status changes reported in one pass of the event loop are saved together.
    QTimer pendingSave;
    // The list on disk could not be read nor moved aside: no save may replace it.
    bool unreadableListInPlace = false;
    // Only the user's own removals: an entry that is missing for any other reason (a list lost
    // or moved aside) is not one the user gave up.
    QSet<QString> removedIds;
    QHash<QString, QString> attachedIds;
    bool isShuttingDown = false;
    bool takingFinalReports = false;
};
