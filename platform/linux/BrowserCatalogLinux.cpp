#include "platform/BrowserCatalog.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace BrowserCatalog {

namespace {

const QString chromiumPage = QStringLiteral("chrome://extensions/");
// Where Firefox loads an extension from a folder of files.
const QString firefoxPage = QStringLiteral("about:debugging#/runtime/this-firefox");

// A Chromium-family browser keeps its profile and its host manifests in one folder of the
// user's configuration (XDG_CONFIG_HOME, which they all honour).
Browser chromium(const QString &name, const QString &folder, const QStringList &programs,
                 const QString &product)
{
    const QString configuration =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + folder;
    return {name, Family::Chromium, configuration, configuration + QStringLiteral("/NativeMessagingHosts"),
            {},   programs,         product,       chromiumPage};
}

// A Flatpak application keeps its files under ~/.var/app/<id>, which it sees at the same path
// inside its sandbox; `manifestFolder` lies below that.
Browser flatpak(const QString &name, Family family, const QString &id, const QString &manifestFolder)
{
    const QString sandbox = QDir::homePath() + QStringLiteral("/.var/app/") + id;
    return {name,    family,
            sandbox, sandbox + u'/' + manifestFolder,
            id,      {QStringLiteral("flatpak")},
            {},      family == Family::Firefox ? firefoxPage : chromiumPage};
}

} // namespace

QList<Browser> known()
{
    const QString home = QDir::homePath();
    // The snap keeps the profile in its own part of the home folder, not in XDG_CONFIG_HOME.
    const QString snap = home + QStringLiteral("/snap/chromium");
    // Firefox reads its users' host manifests from ~/.mozilla even where it keeps the profiles
    // under XDG_CONFIG_HOME/mozilla.
    const QString firefoxProfiles =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mozilla");
    const QString mozilla = home + QStringLiteral("/.mozilla");
    const QString googleChrome = QStringLiteral("Google Chrome ");
    const QString edge = QStringLiteral("Microsoft Edge ");
    return {
        chromium(QStringLiteral("Google Chrome"), QStringLiteral("google-chrome"),
                 {QStringLiteral("google-chrome-stable"), QStringLiteral("google-chrome")}, googleChrome),
        chromium(QStringLiteral("Google Chrome Beta"), QStringLiteral("google-chrome-beta"),
                 {QStringLiteral("google-chrome-beta")}, googleChrome),
        chromium(QStringLiteral("Google Chrome Dev"), QStringLiteral("google-chrome-unstable"),
                 {QStringLiteral("google-chrome-unstable")}, googleChrome),
        chromium(QStringLiteral("Chromium"), QStringLiteral("chromium"),
                 {QStringLiteral("chromium"), QStringLiteral("chromium-browser")},
                 QStringLiteral("Chromium ")),
        {QStringLiteral("Chromium (snap)"),
         Family::Chromium,
         snap,
         snap + QStringLiteral("/common/chromium/NativeMessagingHosts"),
         QString(),
         {QStringLiteral("/snap/bin/chromium")},
         QStringLiteral("Chromium "),
         chromiumPage},
        chromium(QStringLiteral("Brave"), QStringLiteral("BraveSoftware/Brave-Browser"),
                 {QStringLiteral("brave-browser"), QStringLiteral("brave-browser-stable"),
                  QStringLiteral("brave")},
                 QStringLiteral("Brave Browser ")),
        chromium(QStringLiteral("Vivaldi"), QStringLiteral("vivaldi"),
                 {QStringLiteral("vivaldi"), QStringLiteral("vivaldi-stable")}, QStringLiteral("Vivaldi ")),
        chromium(QStringLiteral("Microsoft Edge"), QStringLiteral("microsoft-edge"),
                 {QStringLiteral("microsoft-edge-stable"), QStringLiteral("microsoft-edge")}, edge),
        chromium(QStringLiteral("Microsoft Edge Beta"), QStringLiteral("microsoft-edge-beta"),
                 {QStringLiteral("microsoft-edge-beta")}, edge),
        chromium(QStringLiteral("Microsoft Edge Dev"), QStringLiteral("microsoft-edge-dev"),
                 {QStringLiteral("microsoft-edge-dev")}, edge),
        {QStringLiteral("Firefox"),
         Family::Firefox,
         QFileInfo(mozilla).isDir() ? mozilla : firefoxProfiles,
         mozilla + QStringLiteral("/native-messaging-hosts"),
         QString(),
         {QStringLiteral("firefox"), QStringLiteral("firefox-esr")},
         QStringLiteral("Mozilla Firefox "),
         firefoxPage},
        flatpak(QStringLiteral("Firefox (Flatpak)"), Family::Firefox, QStringLiteral("org.mozilla.firefox"),
                QStringLiteral(".mozilla/native-messaging-hosts")),
        flatpak(QStringLiteral("Google Chrome (Flatpak)"), Family::Chromium,
                QStringLiteral("com.google.Chrome"),
                QStringLiteral("config/google-chrome/NativeMessagingHosts")),
        flatpak(QStringLiteral("Chromium (Flatpak)"), Family::Chromium,
                QStringLiteral("org.chromium.Chromium"),
                QStringLiteral("config/chromium/NativeMessagingHosts")),
        flatpak(QStringLiteral("Brave (Flatpak)"), Family::Chromium, QStringLiteral("com.brave.Browser"),
                QStringLiteral("config/BraveSoftware/Brave-Browser/NativeMessagingHosts")),
    };
}

QList<Browser> found()
{
    QList<Browser> browsers = known();
    browsers.removeIf([](const Browser &browser) { return !QFileInfo(browser.configurationFolder).isDir(); });
    return browsers;
}

} // namespace BrowserCatalog
