#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Tells the current user's browsers which program to start for a native messaging host. Chrome
// on Windows learns it from a registry value naming the host manifest; Chrome and Chromium on
// Linux read the manifest itself from a folder of their own, so there it is copied into each.
namespace NativeMessagingHosts {

// The per-user folders the browsers search for host manifests; empty where a registry is used.
QStringList manifestFolders();

// Points the browsers at the manifest file `manifestPath` for the host `name`. False when not
// every browser could be told; each place is replaced atomically, so none is ever half-written.
bool registerHost(const QString &name, const QString &manifestPath);

// Replaces the manifest at `path` whole or not at all: a browser starting the host while it is
// being written must never read half of it.
bool writeManifest(const QString &path, const QByteArray &content);

// Forgets the host `name` for every browser. A host that was never registered is no error.
void removeHost(const QString &name);

} // namespace NativeMessagingHosts
