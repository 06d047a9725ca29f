#include "queue/view/CloseRules.h"

QString CloseRules::normalizedBehavior(const QString &stored)
{
    return stored == tray || stored == quit ? stored : ask;
}

QString CloseRules::effectiveBehavior(const QString &stored, bool trayUsable)
{
    const QString behavior = normalizedBehavior(stored);
    return behavior == tray && !trayUsable ? ask : behavior;
}

CloseRules::Outcome CloseRules::outcome(bool shuttingDown, const QString &behavior, bool trayUsable)
{
    if (!shuttingDown && behavior == tray && trayUsable)
        return Outcome::HideToTray;
    return Outcome::Quit;
}
