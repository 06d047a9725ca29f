#include "platform/FlatpakSandbox.h"

#include <QFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString flatpakService = QStringLiteral("org.freedesktop.Flatpak");

// Single quotes keep every character of a path as it is; a quote inside closes, escapes and
// reopens them.
QByteArray shellQuoted(const QString &text)
{
    return '\'' + QFile::encodeName(text).replace('\'', "'\\''") + '\'';
}

// The bus policy for the Flatpak service in one key file (an application's metadata or an
// override), or an empty string where the file says nothing of it.
QString servicePolicy(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString policy;
    bool inBusPolicy = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inBusPolicy = line == QStringLiteral("[Session Bus Policy]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inBusPolicy && equals > 0 && line.left(equals).trimmed() == flatpakService)
            policy = line.mid(equals + 1).trimmed();
    }
    return policy;
}

// Flatpak's own folders: the system installation and this user's.
QString systemInstallation()
{
    const QString configured = qEnvironmentVariable("FLATPAK_SYSTEM_DIR");
    return configured.isEmpty() ? QStringLiteral("/var/lib/flatpak") : configured;
}

QString userInstallation()
{
    const QString configured = qEnvironmentVariable("FLATPAK_USER_DIR");
    return configured.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                      QStringLiteral("/flatpak")
                                : configured;
}

} // namespace

namespace FlatpakSandbox {

QByteArray hostWrapper(const QString &hostProgram)
{
    return "#!/bin/sh\n"
           "# Written by Rushlet's browser setup: this browser runs in a Flatpak sandbox, and the\n"
           "# bridge to Rushlet runs outside it.\n"
           "exec flatpak-spawn --host " +
           shellQuoted(hostProgram) + " \"$@\"\n";
}

bool mayRunOutside(const QString &appId)
{
    // Flatpak applies the application's own metadata first, then the overrides for every
    // application and for this one, the system's before the user's; the last word counts.
    const QString system = systemInstallation();
    const QString user = userInstallation();
    const QString metadata = QStringLiteral("/app/%1/current/active/metadata").arg(appId);
    const QStringList layers = {system + metadata,
                                user + metadata,
                                system + QStringLiteral("/overrides/global"),
                                system + QStringLiteral("/overrides/") + appId,
                                user + QStringLiteral("/overrides/global"),
                                user + QStringLiteral("/overrides/") + appId};
    QString policy;
    for (const QString &layer : layers) {
        const QString said = servicePolicy(layer);
        if (!said.isEmpty())
            policy = said;
    }
    return policy == QStringLiteral("talk") || policy == QStringLiteral("own");
}

QString permissionCommand(const QString &appId)
{
    return QStringLiteral("flatpak override --user --talk-name=%1 %2").arg(flatpakService, appId);
}

} // namespace FlatpakSandbox
