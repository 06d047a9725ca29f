#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

class QUrl;

// What a person or the browser may hand in as a download: the link, the file name and the folder,
// and the names the program derives from them. Nothing here shows anything; messages are English
// sentences that the caller translates.
namespace DownloadInputRules {

// File names longer than this many bytes (in the file system's encoding) cannot be created.
inline constexpr qsizetype maxNameBytes = 255;
// The partial file of a download is its destination with this suffix; its resume checkpoint has
// one of the same length.
inline constexpr QStringView partialSuffix = u".rushlet.part";
// Longer clipboard texts are not even parsed: no link the program accepts is that long.
inline constexpr qsizetype maxClipboardLinkLength = 16000;

// Characters that no name may hold: those reserved on Windows file systems, which the user's files
// may well end up on, and the control characters.
const QRegularExpression &reservedCharacters();

// How many bytes `name` takes as a file name.
qsizetype nameBytes(const QString &name);
// The longest start of `name` that takes at most `maxBytes` bytes and ends between two
// characters, so that no character loses its accent or half of its encoding.
QString cutToBytes(const QString &name, qsizetype maxBytes);

// A link the program can fetch: valid when parsed strictly, with a host, over http or https.
bool isFetchableLink(const QUrl &url);

// Whether the link carries user information before its host, even an empty one, as in
// "https://:@host": its user name and password are both empty, yet the link is not the host's.
bool hasUserInformation(const QUrl &url);

// The clipboard text to offer as the link of a new download, or empty when it is no such link.
QString linkFromClipboard(const QString &clipboardText);

// The file name a link suggests: its last path segment, decoded, with reserved characters
// replaced, short enough for its partial file; "download.bin" when the link names no file.
QString nameFromLink(const QString &linkText);

// The file that the folder and the name (both trimmed) denote, cleaned, with "/" as separator.
QString destinationPath(const QString &folderText, const QString &nameText);

// Why the dialog cannot take this input (the first rule that fails), or empty when it can. The
// name must be one the platform's file systems accept, with room for its partial file.
QString inputProblem(const QString &linkText, const QString &nameText, const QString &folderText);

// Why `linkText` cannot become the new address of a download fetched from `current`, or empty
// when it can: a link the dialog would take, other than the current one, and never from HTTPS
// back to plain HTTP, which would let anyone on the way feed the rest of the file.
QString newAddressProblem(const QUrl &current, const QString &linkText);

// The folder last chosen for a download, else the system's download folder.
QString downloadFolder();
void rememberDownloadFolder(const QString &folder);

} // namespace DownloadInputRules
