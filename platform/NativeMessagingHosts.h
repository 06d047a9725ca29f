#pragma once

#include <QByteArray>
#include <QString>

// The files through which a browser finds the host: its manifest in each browser's folder, and
// for a sandboxed browser the program inside the sandbox that reaches the host.
namespace NativeMessagingHosts {

// Replaces the manifest at `path` whole or not at all: a browser starting the host while it is
// being written must never read half of it.
bool writeManifest(const QString &path, const QByteArray &content);

// Replaces the program at `path` in the same way; it can be run from the moment it is there.
bool writeProgram(const QString &path, const QByteArray &content);

} // namespace NativeMessagingHosts
