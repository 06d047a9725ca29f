#pragma once

#include "ui/PopupMenu.h"

class DownloadList;
class QActionGroup;

// The "Speed limit" submenu: Off, the presets and "Custom…", with the limit in force checked.
// The window's (Downloads menu and tray) sets the overall limit; the context menu's, one
// download's. The menu only offers the choice: whoever shows it applies what was chosen.
class SpeedLimitMenu : public PopupMenu
{
    Q_OBJECT

public:
    explicit SpeedLimitMenu(QWidget *parent);

    // A menu for the overall limit of `list`: it shows the limit in force whenever it opens and
    // sets the one chosen, asking for a custom one in a dialog over `parent`'s window.
    static SpeedLimitMenu *overall(DownloadList &list, QWidget *parent);

    // Checks the entry of `bytesPerSecond`: Off for 0, "Custom" (naming it) for a limit that is no
    // preset.
    void showLimit(qint64 bytesPerSecond);

    // The limit an entry stands for (0 for Off); -1 for "Custom…" and actions of other menus.
    qint64 limitOf(const QAction *action) const;
    QAction *customAction() const { return custom; }

    // Asks for a limit of one's own in a small dialog that checks it as it is typed; the limit, or
    // -1 when the person cancelled.
    static qint64 askCustomLimit(QWidget *parent, qint64 current);

signals:
    // Off (0) or a preset was chosen.
    void limitChosen(qint64 bytesPerSecond);
    void customChosen();

private:
    void retranslate();

    QActionGroup *entries;
    QAction *off;
    QList<QAction *> presetActions;
    QAction *custom;
    qint64 shown = 0;
};
