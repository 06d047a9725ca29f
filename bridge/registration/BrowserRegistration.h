#pragma once

#include "platform/BrowserCatalog.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringView>

// Everything a browser needs before it can start RushletNativeHost for our extension: the host
// manifest in the data folder, which the host reads to know its callers, and a copy in the form
// each browser the user has reads, with a wrapper for a browser in a Flatpak sandbox.
namespace BrowserRegistration {

inline constexpr QStringView hostName = u"com.rushlet.downloader";
inline constexpr QStringView legacyHostName = u"com.brio.downloader";

// Chrome's id for an extension with the public key `base64Key`: the first 16 bytes of the key's
// SHA-256 digest, each half-byte written as a letter from "a" to "p". Empty when the key is not
// valid Base64 or too short to be a key.
QString extensionId(const QString &base64Key);

// The id of the Firefox extension, a setting of the build.
QString firefoxAddonId();

QString manifestPath(const QString &manifestFolder);

// The manifest of the data folder, which the Chromium family reads as it is: the callers allowed
// in both browsers' terms, `allowed_origins` for Chrome's and `allowed_extensions` for Firefox's.
QJsonObject hostManifest(const QString &hostProgramPath, const QString &extensionId, const QString &addonId);

// The manifest in Firefox's form, which has no `allowed_origins`.
QJsonObject firefoxManifest(const QString &hostProgramPath, const QString &addonId);

enum class State
{
    NotRegistered,
    Registered,
    // Its manifest or wrapper is missing, unreadable or names another host or extension.
    NeedsRepair,
    // Registered in a Flatpak sandbox that does not yet let the browser run the host outside.
    NeedsPermission,
};

struct BrowserStatus
{
    BrowserCatalog::Browser browser;
    State state = State::NotRegistered;
    // The extension the user loads into this browser, in native separators.
    QString extensionFolder;
    // For a sandboxed browser: the command that lets it reach the host. Empty otherwise.
    QString permissionCommand;
};

struct Outcome
{
    // Empty on success, otherwise the reason for the user.
    QString error;
    // The data folder's manifest is written and current.
    bool saved = false;
    // Every browser the user has, in the catalog's order, as its files are now.
    QList<BrowserStatus> browsers;
};

// How every browser found stands, writing nothing.
Outcome inspect(const QString &applicationFolder, const QString &manifestFolder);

// Writes the host manifest into `manifestFolder` and registers every browser found, replacing
// what was there and removing the earlier product's manifest beside ours. A failed save of the
// data folder's manifest leaves every file as it was; a browser whose folder cannot be written
// does not keep the others from being registered.
Outcome registerBrowsers(const QString &applicationFolder, const QString &manifestFolder);

} // namespace BrowserRegistration
