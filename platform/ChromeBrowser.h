#pragma once

#include <QString>

// Finding and starting the user's Google Chrome (or Chromium, which loads the same extensions).
namespace ChromeBrowser {

// The browser program to open for the user, or an empty string when none is installed.
QString locate();

// True when the program at `path` is Google Chrome or Chromium and not another browser that
// happens to carry the same file name.
bool isChrome(const QString &path);

// Starts the browser on its extensions page, independent of this program. False when it could
// not be started.
bool openExtensionsPage(const QString &chromePath);

} // namespace ChromeBrowser
