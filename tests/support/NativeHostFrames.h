#pragma once

#include "tests/support/TestEnvironment.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <cstring>

// The browser's side of the native host's standard streams, and the host manifest the browser
// setup writes, for tests that drive RushletNativeHost as the browser does.
namespace NativeHostFrames {

inline const QString origin = QStringLiteral("chrome-extension://abcdefghijklmnopabcdefghijklmnop/");
// Firefox starts the host with the path of the manifest it read and the calling add-on's id.
inline const QString addonId = QStringLiteral("rushlet@example.com");
inline const QString firefoxManifest =
    QStringLiteral("/home/user/.mozilla/native-messaging-hosts/com.rushlet.downloader.json");

inline QByteArray frame(quint32 length, const QByteArray &body)
{
    QByteArray bytes(sizeof(length), '\0');
    std::memcpy(bytes.data(), &length, sizeof(length));
    return bytes + body;
}

inline QByteArray frame(const QByteArray &body)
{
    return frame(quint32(body.size()), body);
}

inline QByteArray frame(const QJsonObject &message)
{
    return frame(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

// Splits the host's output into messages; a malformed tail ends the list with an empty object.
inline QList<QJsonObject> messages(const QByteArray &output)
{
    QList<QJsonObject> result;
    qsizetype at = 0;
    while (at < output.size()) {
        quint32 length = 0;
        if (output.size() - at < qsizetype(sizeof(length))) {
            result.append(QJsonObject());
            break;
        }
        std::memcpy(&length, output.constData() + at, sizeof(length));
        at += qsizetype(sizeof(length));
        const QByteArray body = output.mid(at, length);
        at += length;
        const QJsonDocument document = QJsonDocument::fromJson(body);
        result.append(body.size() == qsizetype(length) && document.isObject() ? document.object()
                                                                              : QJsonObject());
    }
    return result;
}

// The manifest in the form the browser setup writes it.
inline bool writeManifest(const QString &dataFolder, const QJsonArray &allowedOrigins,
                          const QJsonArray &allowedExtensions = QJsonArray{addonId})
{
    const QJsonObject manifest{
        {QStringLiteral("name"), QStringLiteral("com.rushlet.downloader")},
        {QStringLiteral("description"), QStringLiteral("Rushlet desktop downloader")},
        {QStringLiteral("path"),
         QString(qEnvironmentVariable("RUSHLET_BIN_DIR") + QStringLiteral("/RushletNativeHost"))},
        {QStringLiteral("type"), QStringLiteral("stdio")},
        {QStringLiteral("allowed_origins"), allowedOrigins},
        {QStringLiteral("allowed_extensions"), allowedExtensions},
    };
    return TestEnvironment::writeFile(dataFolder + QStringLiteral("/com.rushlet.downloader.json"),
                                      QJsonDocument(manifest).toJson(QJsonDocument::Indented));
}

} // namespace NativeHostFrames
