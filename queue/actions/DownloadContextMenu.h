#pragma once

#include "ui/PopupMenu.h"

#include <QString>
#include <QTimer>

class DownloadList;
class SpeedLimitMenu;
struct DownloadSnapshot;

// The commands and file actions for one download, shown at a row of the download table. The menu
// holds no copy of the download: while it is open it re-reads the list on every tick, so that a
// download that completes enables "Open file" and one that is removed closes the menu. The chosen
// entry is carried out only after the menu has closed, and only if it still applies to the
// download's state at that moment (a Resume chosen just as the download started does nothing).
class DownloadContextMenu : public PopupMenu
{
    Q_OBJECT

public:
    // The window's way in: shows the menu for `id` at `globalPos`, waits for it to close and
    // carries out the chosen entry. Nothing happens for an id that is not in the list.
    static void run(DownloadList &list, const QString &id, const QPoint &globalPos, QWidget *parent);

    DownloadContextMenu(DownloadList &list, const QString &id, QWidget *parent);

    // Shows the menu and returns at once; closed() follows once it has closed and the chosen entry
    // was carried out.
    void open(const QPoint &globalPos);

    QAction *resumeAction() const { return resume; }
    QAction *pauseAction() const { return pause; }
    QAction *openFileAction() const { return openFile; }
    QAction *openFolderAction() const { return openFolder; }
    QAction *copyUrlAction() const { return copyUrl; }
    QAction *copyPathAction() const { return copyPath; }
    SpeedLimitMenu *speedLimitMenu() const { return speedLimits; }
    QAction *changeAddressAction() const { return changeAddress; }
    QAction *removeAction() const { return remove; }

    static constexpr int liveUpdateIntervalMs = 200;

signals:
    void closed();

private:
    void applyLiveState();
    void finish();
    void perform(QAction *action, const DownloadSnapshot &snapshot);

    DownloadList &list;
    const QString id;
    QAction *resume;
    QAction *pause;
    QAction *openFile;
    QAction *openFolder;
    QAction *copyUrl;
    QAction *copyPath;
    SpeedLimitMenu *speedLimits;
    QAction *changeAddress;
    QAction *remove;
    QTimer liveUpdate;
    QAction *chosen = nullptr;
    // Run modally, the menu is finished by run() once exec() has returned, not by the event loop.
    bool modal = false;
    bool finished = false;
};
