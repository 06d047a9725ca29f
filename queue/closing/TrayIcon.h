#pragma once

#include <QSystemTrayIcon>

class PopupMenu;
class QAction;
class QMenu;

// The program's icon in the desktop's tray and its menu. The menu's commands are the window's own
// actions, so their enabled states and texts are the window's; only "Show Rushlet" is the tray's.
// The icon shows whenever the desktop has a tray, one that starts after the program included; while
// there is none the window has nothing to hide into.
class TrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    struct WindowActions
    {
        QAction *addUrl = nullptr;
        QAction *pauseAll = nullptr;
        QAction *checkForUpdates = nullptr;
        QAction *exit = nullptr;
        // The overall speed limit's submenu, shown after "Pause all" when given.
        QMenu *speedLimit = nullptr;
    };

    // Parented to `window`, which the icon brings back; the menu is parented to it too.
    TrayIcon(QWidget *window, const WindowActions &actions);

    // The window can hide into the tray: the icon is shown and the desktop still has a tray.
    bool isUsable() const;

    PopupMenu *menu() const { return trayMenu; }
    QAction *showAction() const { return showEntry; }

    // Brings a window back in front, from the tray or from the task bar: restored if it was
    // minimised, shown if it was hidden, raised and activated; a modal dialog open on it comes up
    // on top again, since the window cannot take input while it is open.
    static void showWindow(QWidget *window);

private:
    void retranslate();

    QWidget *window;
    PopupMenu *trayMenu;
    QAction *showEntry;
};
