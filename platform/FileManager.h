#pragma once

#include <QString>

#include <functional>

class QObject;

// Showing a file to the user where it lies: a file-manager window on its folder with the file
// selected, or, where no file manager offers that, the folder itself opened by the desktop.
namespace FileManager {

// Asks the desktop to show `path` (an existing file) selected in its folder. `done` learns whether
// anything was opened; it may run before this returns or later on the calling thread, and it does
// not run once `context` is gone. A file manager that the desktop starts on demand can take a few
// seconds to answer, so the caller never waits for it.
void showItem(const QString &path, QObject *context, std::function<void(bool opened)> done);

} // namespace FileManager
