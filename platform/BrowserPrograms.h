#pragma once

#include "platform/BrowserCatalog.h"

#include <QList>
#include <QString>

#include <functional>

class QObject;

// Finding and starting the user's browsers, to show them the page where an extension is loaded.
namespace BrowserPrograms {

struct Located
{
    BrowserCatalog::Browser browser;
    // The program that starts it; empty when none of the candidates could be found.
    QString program;
};

// The program that starts `browser`: the first of its programs that exists and proves to be that
// browser. Empty when none does. Asking a candidate may take seconds.
QString locate(const BrowserCatalog::Browser &browser);

// The first of `candidates`, in their order, whose program is found.
Located locateFirst(const QList<BrowserCatalog::Browser> &candidates);

// locateFirst() on a thread of the program's pool, so that a window stays responsive meanwhile:
// the result goes to `done` on `context`'s thread, unless `context` is gone by then.
void locateInBackground(QObject *context, const QList<BrowserCatalog::Browser> &candidates,
                        std::function<void(const Located &located)> done);

// True when the program at `path` is `browser` and not another one that happens to carry the same
// file name. A sandboxed browser's program is Flatpak, which must have the application installed.
bool isBrowser(const QString &path, const BrowserCatalog::Browser &browser);

// Starts the located browser on its extensions page, independent of this program. False when it
// could not be started.
bool openExtensionsPage(const Located &located);

} // namespace BrowserPrograms
