#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringView>

// Everything Chrome needs before it can start RushletNativeHost for our extension: the host
// manifest in the data folder, and the browsers pointed at it.
namespace ChromeBridgeRegistration {

inline constexpr QStringView hostName = u"com.rushlet.downloader";
inline constexpr QStringView legacyHostName = u"com.brio.downloader";

// Chrome's id for an extension with the public key `base64Key`: the first 16 bytes of the key's
// SHA-256 digest, each half-byte written as a letter from "a" to "p". Empty when the key is not
// valid Base64 or too short to be a key.
QString extensionId(const QString &base64Key);

QString manifestPath(const QString &manifestFolder);
QJsonObject hostManifest(const QString &hostProgramPath, const QString &extensionId);

// Writes the host manifest into `manifestFolder` and points the browsers at it. Returns an empty
// string on success, otherwise the reason for the user. A failed save leaves the earlier
// manifest as it was.
QString registerBridge(const QString &applicationFolder, const QString &manifestFolder);

// Takes away the earlier product's host, which would otherwise keep answering its old extension.
void removeLegacyBridge();

} // namespace ChromeBridgeRegistration
