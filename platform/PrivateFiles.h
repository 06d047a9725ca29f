#pragma once

#include <QByteArray>
#include <QString>

// The files the program keeps for its user: the download list, resume checkpoints and the browser
// bridge's host manifests. They hold URLs, which may carry access tokens, so only their owner may
// read them, whatever the process's umask says; and each is replaced whole or not at all, so that
// a full disk or a crash never leaves one empty or cut short.
namespace PrivateFiles {

// Writes `content` into a new file beside `path`, waits until it is on the disk, and only then
// renames it over `path` (a symbolic link there is followed, so the link stays). The result is
// readable and writable by its owner only. On any failure, a full disk included, the previous
// file is left exactly as it was, nothing new stays behind, and *error gets the system's reason.
bool replace(const QString &path, const QByteArray &content, QString *error = nullptr);

// replace() for a program: the owner may also run it, from the moment it carries its name.
bool replaceProgram(const QString &path, const QByteArray &content, QString *error = nullptr);

// Creates the folder and its missing parents, and makes sure only its owner can enter it: an
// existing folder with wider rights is tightened. False when it cannot be created or tightened.
bool makeFolder(const QString &path);

} // namespace PrivateFiles
