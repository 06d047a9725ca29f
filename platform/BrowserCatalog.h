#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The browsers the bridge can serve, and where each keeps what concerns the bridge for the
// current user. Whether a user has a browser is told by its configuration folder: a browser
// creates it the first time it runs.
namespace BrowserCatalog {

enum class Family
{
    // Reads manifests naming the callers in `allowed_origins`; loads the Chrome extension.
    Chromium,
    // Reads manifests naming the callers in `allowed_extensions`; loads the Firefox extension.
    Firefox,
};

struct Browser
{
    // The product's own name, as the user knows it; never translated.
    QString name;
    Family family = Family::Chromium;
    // Exists once the browser ran for this user.
    QString configurationFolder;
    // Where the browser looks for the host manifests of this user.
    QString manifestFolder;
    // For a browser in a Flatpak sandbox: its application id. It starts only what lies inside its
    // sandbox, so the host is reached through a wrapper there.
    QString flatpakId;
    // The programs that start it, tried in order: names looked up on PATH or absolute paths.
    QStringList programs;
    // What the first line of `programs --version` begins with for this browser and no other.
    QString product;
    // The page where the user loads an extension from a folder.
    QString extensionsPage;
};

// Every browser the bridge knows, in the order in which one is chosen to open its extensions
// page: the Chromium family, Firefox, then the sandboxed ones.
QList<Browser> known();

// The browsers of known() whose configuration folder exists, in the same order.
QList<Browser> found();

} // namespace BrowserCatalog
