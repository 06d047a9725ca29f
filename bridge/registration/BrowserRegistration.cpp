#include "bridge/registration/BrowserRegistration.h"

#include "platform/ApplicationFiles.h"
#include "platform/NativeMessagingHosts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QString hostProgram = QStringLiteral("RushletNativeHost");
const QString mainProgram = QStringLiteral("Rushlet");

// Anything shorter cannot be an RSA public key; Chrome refuses it as well.
constexpr qsizetype minimumKeyBytes = 128;

} // namespace

namespace ChromeBridgeRegistration {

QString extensionId(const QString &base64Key)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(base64Key.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    // toLatin1() turns characters outside Latin-1 into '?', which the decoder refuses.
    if (!decoded || decoded.decoded.size() < minimumKeyBytes)
        return {};

    const QByteArray digest = QCryptographicHash::hash(decoded.decoded, QCryptographicHash::Sha256).left(16);
    QString id;
    id.reserve(32);
    for (const char byte : digest) {
        const auto value = static_cast<unsigned char>(byte);
        id += QChar(static_cast<char16_t>(u'a' + (value >> 4)));
        id += QChar(static_cast<char16_t>(u'a' + (value & 0x0f)));
    }
    return id;
}

QString manifestPath(const QString &manifestFolder)
{
    return manifestFolder + u'/' + hostName + QStringLiteral(".json");
}

QJsonObject hostManifest(const QString &hostProgramPath, const QString &extensionId)
{
    return {
        {QStringLiteral("name"), hostName.toString()},
        {QStringLiteral("description"), QStringLiteral("Rushlet desktop downloader")},
        {QStringLiteral("path"), QDir::fromNativeSeparators(hostProgramPath)},
        {QStringLiteral("type"), QStringLiteral("stdio")},
        {QStringLiteral("allowed_origins"),
         QJsonArray{QStringLiteral("chrome-extension://%1/").arg(extensionId)}},
    };
}

QString registerBridge(const QString &applicationFolder, const QString &manifestFolder)
{
    const QDir application(applicationFolder);
    const QString hostProgramPath = application.absoluteFilePath(hostProgram);
    QFile extension(ApplicationFiles::extensionFolder(applicationFolder) + QStringLiteral("/manifest.json"));
    if (!QFileInfo(hostProgramPath).isFile() ||
        !QFileInfo(application.absoluteFilePath(mainProgram)).isFile() ||
        !extension.open(QIODevice::ReadOnly)) {
        return QStringLiteral(
            "Setup files are missing. Run Rushlet from the packaged application folder, which "
            "includes RushletNativeHost and chrome-extension.");
    }

    const QJsonValue key = QJsonDocument::fromJson(extension.readAll()).object().value(QStringLiteral("key"));
    const QString id = extensionId(key.toString());
    if (id.isEmpty())
        return QStringLiteral("The extension manifest does not contain a valid public key.");

    const QByteArray manifest =
        QJsonDocument(hostManifest(hostProgramPath, id)).toJson(QJsonDocument::Indented);
    const QString path = manifestPath(manifestFolder);
    if (!QDir().mkpath(manifestFolder) || !NativeMessagingHosts::writeManifest(path, manifest))
        return QStringLiteral("Could not save the bridge configuration.");

    if (!NativeMessagingHosts::registerHost(hostName.toString(), QDir::toNativeSeparators(path)))
        return QStringLiteral("Could not register the Chrome bridge for your user account.");
    return {};
}

void removeLegacyBridge()
{
    NativeMessagingHosts::removeHost(legacyHostName.toString());
}

} // namespace ChromeBridgeRegistration
