#pragma once

#include <QObject>

class DownloadList;
class QAction;
class QToolBar;
class QWidget;
struct DownloadSnapshot;

// The window's commands as actions, created once and shared by the toolbar, the menus and
// (through the window) the tray and context menus, so that a command is enabled, labelled and
// translated the same way wherever it appears.
class WindowActions : public QObject
{
    Q_OBJECT

public:
    // The actions are children of `window`, so that their shortcuts work anywhere in it and a
    // language binding of the window reaches them.
    explicit WindowActions(QWidget *window);

    // Enables the commands that fit the selected download (none when null) and the list as a
    // whole, and relabels the start command "Start", "Retry" or "Resume".
    void update(const DownloadSnapshot *selected, bool anyActive);

    // Gives the start command's button on `toolBar` the width of its widest label in the language
    // in force, so that relabelling it ("Start", "Retry", "Resume") moves no button after it.
    void reserveStartLabelWidth(QToolBar *toolBar) const;

    QAction *const addUrl;
    QAction *const resume;
    QAction *const pause;
    QAction *const remove;
    QAction *const pauseAll;
    QAction *const openFolder;
    QAction *const exit;
    QAction *const showDetails;
    // Checkable: the desktop notices of finished and failed downloads, kept in the settings.
    QAction *const notifyWhenFinished;
    QAction *const checkForUpdates;
    QAction *const installChromeExtension;
    QAction *const about;
};
