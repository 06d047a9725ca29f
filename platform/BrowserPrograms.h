#pragma once

#include <QString>

#include <functional>

class QObject;

// Finding and starting the user's Google Chrome (or Chromium, which loads the same extensions).
namespace ChromeBrowser {

// The browser program to open for the user, or an empty string when none is installed. Asking
// the candidates may take seconds.
QString locate();

// locate() on a thread of the program's pool, so that a window stays responsive meanwhile: the
// result goes to `done` on `context`'s thread, unless `context` is gone by then.
void locateInBackground(QObject *context, std::function<void(const QString &path)> done);

// True when the program at `path` is Google Chrome or Chromium and not another browser that
// happens to carry the same file name.
bool isChrome(const QString &path);

// Starts the browser on its extensions page, independent of this program. False when it could
// not be started.
bool openExtensionsPage(const QString &chromePath);

} // namespace ChromeBrowser
