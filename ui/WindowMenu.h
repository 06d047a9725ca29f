#pragma once

#include "ui/PopupMenu.h"

// The window commands of a frame's window menu: restore, minimize, maximize and close, each
// enabled when it would change something. The title bar opens it from its icon, since the
// desktop offers no call that opens its own menu for a window without a frame. Its texts are
// English table keys: the window that binds its tree to the translation table translates them.
class WindowMenu : public PopupMenu
{
    Q_OBJECT

public:
    // `window` is the window the commands act on; the menu becomes a child of `parent`.
    WindowMenu(QWidget *window, QWidget *parent);

    // Enabled states for the window's state now; runs whenever the menu is about to show.
    void refresh();

    QAction *restoreAction() const { return restoreItem; }
    QAction *minimizeAction() const { return minimizeItem; }
    QAction *maximizeAction() const { return maximizeItem; }
    QAction *closeAction() const { return closeItem; }

private:
    QWidget *window;
    QAction *restoreItem;
    QAction *minimizeItem;
    QAction *maximizeItem;
    QAction *closeItem;
};
