#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// The question asked when the window is closed and no standing choice is stored: quit, keep
// running in the tray (offered only where there is a usable tray), or cancel. "Cancel", Escape
// and closing the dialog reject it; the other two end it with their own result.
class CloseConfirmationDialog : public QDialog
{
    Q_OBJECT

public:
    enum Result
    {
        QuitResult = 1,
        KeepInTrayResult = 2
    };

    CloseConfirmationDialog(bool trayUsable, QWidget *parent);

    bool rememberChoice() const;

private:
    QCheckBox *remember;
};
