#pragma once

#include "queue/adding/MainWindowHooks.h"
#include "queue/list/DownloadList.h"
#include "queue/view/ListTotals.h"

#include <QJsonObject>
#include <QMainWindow>
#include <QSet>

class BrowserConfirmation;
class CategorySidebar;
class DetailsPane;
class DownloadTable;
class DownloadNotifier;
class PopupMenu;
class QLabel;
class QMenuBar;
class QToolBar;
class SleepInhibitor;
class TrayIcon;
class UpdateChecker;
class WindowActions;
class WindowFrame;
class WindowStatusBar;

// The program's main window. It owns the download list and composes the parts that show it (the
// category sidebar, the download table, the details pane, the status bar) with the actions that
// drive it. Views follow the list on their own: every change of the list schedules one refresh
// for the next pass of the event loop, however many reports arrive before it runs.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // What the start and pause commands ask of a download's engine.
    enum class Command
    {
        Start,
        Pause
    };

    explicit MainWindow(QWidget *parent = nullptr);
    // A window whose downloads run on engines made by `engineFactory` instead of the network
    // engine: for tests and benchmarks that drive the window without a server.
    explicit MainWindow(DownloadList::EngineFactory engineFactory, QWidget *parent = nullptr);
    ~MainWindow() override;

    DownloadList *downloads() const { return list; }
    WindowActions *windowActions() const { return actions; }
    DownloadTable *downloadTable() const { return table; }
    CategorySidebar *categorySidebar() const { return categories; }
    DetailsPane *detailsPane() const { return details; }
    WindowStatusBar *windowStatusBar() const { return statusArea; }
    // The View menu; the close-behaviour submenu goes at its end, after the Language submenu.
    PopupMenu *viewMenu() const { return viewMenuPopup; }
    TrayIcon *trayIcon() const { return tray; }

    // Stops every download, saves the list and the window geometry; runs once, whatever way
    // out of the program calls it first.
    void shutdown();
    bool shuttingDown() const;

    // Answers one request from the local bridge: a second start of the program or the browser.
    QJsonObject handleBridgeRequest(const QJsonObject &request);

    // Offers the downloads awaiting confirmation, one at a time, once control is back in the
    // event loop: after start-up for those left from an earlier run. Nothing while shutting down.
    void offerAwaitingDownloads();

    // Shows the list under "All files", brought up to date at once, with the download `id`
    // selected: how a download that just entered the list is pointed out.
    void revealDownload(const QString &id);

    // The id of the selected download; empty when none is selected.
    QString selectedId() const;

    // Sends `command` to the selected download. A download awaiting the user's confirmation is
    // offered for confirmation instead.
    void invokeOnSelected(Command command);
    // Starts or pauses the download shown in `row`; a completed one is left alone.
    void toggleRow(int row);
    // Pauses every running download.
    void pauseAll();
    // Takes the selected download off the list; its files stay on disk.
    void removeSelected();
    // Asks the update feed whether a newer version exists; `showDialog` is set when the user
    // asked. Does nothing while shutting down.
    void checkForUpdates(bool showDialog);
    // Opens the context menu for the table's current row, as Shift+F10 does.
    void requestContextMenuForCurrentRow();
    // Restored, shown, raised and activated: from the tray, or at a second start of the program.
    void showWindow();

    // Brings the whole view up to date now: rows, header line, status bar, details and actions.
    void refreshView();
    void updateDetails();
    void updateActions();

signals:
    // The table asks for a download's context menu at `position`, in the coordinates of the
    // table's viewport: a right click, the menu key, or Shift+F10 at the current row.
    void contextMenuRequested(const QPoint &position);
    // A download awaiting confirmation was activated; the confirmation pass should run.
    void confirmationRequested();
    // Shutdown has stopped the downloads and saved the list and geometry.
    void shutdownFinished();

protected:
    // Asks, hides into the tray or quits, as "closeBehavior" and the user's answer decide.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWidgets();
    void buildToolBar();
    QMenuBar *buildMenuBar();
    void connectParts();
    void applyStyle();
    // Widens what the texts of the language in force would not fit in.
    void fitToTexts();
    void restoreSavedGeometry();
    // Ctrl+N and the browser's downloads, both through the add dialog.
    void connectAddingDownloads();
    void addDownloadByHand();
    MainWindowHooks addingHooks();

    void scheduleRefresh();
    void runScheduledRefresh();
    void refreshRows(bool fullPass);
    void refreshSummary();
    void showAbout();
    void showChromeExtensionSetup();

    // The tray icon with the window's own actions, and the close-behaviour submenu.
    void buildTrayAndCloseMenu();
    // The download's context menu on the table, and the toolbar's file action.
    void connectDownloadActions();
    // The context menu for the row under `position`, in the table viewport's coordinates.
    void showContextMenu(const QPoint &position);
    void openSelectedInFolder();
    void hideToTray();
    void updateTrayToolTip();

    WindowFrame *frame;
    DownloadList *list;
    WindowActions *actions;
    CategorySidebar *categories = nullptr;
    QLabel *headerLabel = nullptr;
    DownloadTable *table = nullptr;
    DetailsPane *details = nullptr;
    WindowStatusBar *statusArea = nullptr;
    QToolBar *toolBar = nullptr;
    PopupMenu *viewMenuPopup = nullptr;
    UpdateChecker *updateChecker = nullptr;
    BrowserConfirmation *confirmation = nullptr;
    TrayIcon *tray = nullptr;
    DownloadNotifier *notifier = nullptr;
    // Held while a download runs, so that the machine does not suspend under it.
    SleepInhibitor *sleepInhibitor = nullptr;

    // The refresh the list's reports ask for. Reports name the download they changed; any other
    // change of the list asks for a full pass over the rows.
    bool refreshScheduled = false;
    bool fullPassPending = true;
    bool reportAnnounced = false;
    QSet<QString> reportedIds;
    // The list's order as the rows last showed it; an unchanged order compares in constant time.
    QStringList shownOrder;
    int shownCategory = -1;
    ListTotals totals;
};
