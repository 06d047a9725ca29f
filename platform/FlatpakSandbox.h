#pragma once

#include <QByteArray>
#include <QString>

// A browser in a Flatpak sandbox sees only its own files and starts nothing outside. It reaches
// the host through a small program inside the sandbox that asks Flatpak to run the real host on
// the user's side, which Flatpak allows once the user granted the browser that right.
namespace FlatpakSandbox {

// The program, a shell script, that runs `hostProgram` outside the sandbox with the arguments
// and standard streams the browser gave it.
QByteArray hostWrapper(const QString &hostProgram);

// True when the application `appId` may ask Flatpak to run programs outside its sandbox: its own
// permissions or the overrides of the system or of this user grant it.
bool mayRunOutside(const QString &appId);

// The command the user runs to grant `appId` that right. Rushlet only tells it: widening a
// sandbox is the user's decision.
QString permissionCommand(const QString &appId);

} // namespace FlatpakSandbox
