#pragma once

#include <QString>

// What closing the main window does: quit (every download stopped and saved, the program ends),
// or hide into the tray while the downloads go on. The user's standing choice is the setting
// "closeBehavior"; while it says "ask", the window asks each time.
namespace CloseRules {

inline const QString settingKey = QStringLiteral("closeBehavior");
inline const QString ask = QStringLiteral("ask");
inline const QString tray = QStringLiteral("tray");
inline const QString quit = QStringLiteral("quit");

enum class Outcome
{
    // The user thought better of it: nothing is saved or changed.
    KeepOpen,
    // The list and the window's geometry are saved and the window hides; downloads go on.
    HideToTray,
    // Every download is stopped and saved, then the window closes and the program ends.
    Quit
};

// A stored value that is neither "tray" nor "quit" (from another version, or edited by hand)
// reads as "ask".
QString normalizedBehavior(const QString &stored);

// The behaviour that applies to this close: the stored one, normalised, with "tray" read as
// "ask" when there is no usable tray to hide into.
QString effectiveBehavior(const QString &stored, bool trayUsable);

// What closing does once the behaviour is decided ("ask" having been answered). A window that is
// already shutting down only closes; it is never hidden.
Outcome outcome(bool shuttingDown, const QString &behavior, bool trayUsable);

} // namespace CloseRules
