#include "queue/closing/CloseHandling.h"

#include "queue/closing/CloseConfirmationDialog.h"
#include "ui/ModalDialogs.h"

#include <QSettings>

CloseRules::Outcome CloseHandling::decide(QWidget *window, bool shuttingDown, bool trayUsable)
{
    QSettings settings;
    QString behavior =
        CloseRules::effectiveBehavior(settings.value(CloseRules::settingKey).toString(), trayUsable);
    if (!shuttingDown && behavior == CloseRules::ask) {
        CloseConfirmationDialog dialog(trayUsable, window);
        const int result = ModalDialogs::run(dialog);
        if (result == CloseConfirmationDialog::QuitResult)
            behavior = CloseRules::quit;
        else if (result == CloseConfirmationDialog::KeepInTrayResult && trayUsable)
            behavior = CloseRules::tray;
        else
            return CloseRules::Outcome::KeepOpen;
        if (dialog.rememberChoice())
            settings.setValue(CloseRules::settingKey, behavior);
    }
    return CloseRules::outcome(shuttingDown, behavior, trayUsable);
}
