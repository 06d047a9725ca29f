#pragma once

#include "queue/view/CloseRules.h"

class QWidget;

// The window's close event, decided: the stored "closeBehavior" applied, and the confirmation
// dialog asked (through ModalDialogs) while it says "ask". A choice the user asks to be remembered
// is stored; a cancelled question changes nothing, even with "Remember my choice" checked.
namespace CloseHandling {

CloseRules::Outcome decide(QWidget *window, bool shuttingDown, bool trayUsable);

} // namespace CloseHandling
