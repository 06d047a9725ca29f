#include "platform/NativeMessagingHosts.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

QString manifestFileName(const QString &hostName)
{
    return hostName + QStringLiteral(".json");
}

} // namespace

namespace NativeMessagingHosts {

QStringList manifestFolders()
{
    // Both browsers honour XDG_CONFIG_HOME for their per-user configuration.
    const QString configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {configHome + QStringLiteral("/google-chrome/NativeMessagingHosts"),
            configHome + QStringLiteral("/chromium/NativeMessagingHosts")};
}

bool registerHost(const QString &name, const QString &manifestPath)
{
    QFile manifest(manifestPath);
    if (!manifest.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = manifest.readAll();
    if (manifest.error() != QFileDevice::NoError)
        return false;

    bool allWritten = true;
    for (const QString &folder : manifestFolders()) {
        // One browser's folder failing must not keep the other browser from working.
        allWritten = QDir().mkpath(folder) &&
                     writeManifest(folder + u'/' + manifestFileName(name), content) && allWritten;
    }
    return allWritten;
}

bool writeManifest(const QString &path, const QByteArray &content)
{
    return PrivateFiles::replace(path, content);
}

void removeHost(const QString &name)
{
    for (const QString &folder : manifestFolders())
        QFile::remove(folder + u'/' + manifestFileName(name));
}

} // namespace NativeMessagingHosts
