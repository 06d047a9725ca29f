#pragma once

#include "ui/PopupMenu.h"

class QActionGroup;

// "When closing the window": the user's standing choice between asking, keeping the program
// running in the tray and quitting, stored under "closeBehavior". The menu shows the stored value
// each time it opens (the close dialog's "Remember my choice" writes it too), and offers the tray
// only while the desktop has one.
class CloseBehaviorMenu : public PopupMenu
{
    Q_OBJECT

public:
    explicit CloseBehaviorMenu(QWidget *parent);

    // The checked entry from the stored value; the tray entry enabled only with a tray.
    void sync();

private:
    void retranslate();

    QActionGroup *choices;
};
