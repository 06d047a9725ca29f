#include "bridge/registration/BrowserRegistration.h"

#include "platform/ApplicationFiles.h"
#include "platform/FlatpakSandbox.h"
#include "platform/NativeMessagingHosts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace BrowserRegistration {

namespace {

const QString hostProgram = QStringLiteral("RushletNativeHost");
const QString mainProgram = QStringLiteral("Rushlet");
// Beside the manifest in a sandboxed browser's folder, which is all of the user's files it sees.
const QString wrapperName = QStringLiteral("rushlet-native-host.sh");

// Anything shorter cannot be an RSA public key; Chrome refuses it as well.
constexpr qsizetype minimumKeyBytes = 128;

// What the registration writes for one application folder: the host it names and the Chrome
// extension it admits, or why there is nothing to write.
struct Plan
{
    QString hostProgramPath;
    QString extensionId;
    QString error;
};

Plan planFor(const QString &applicationFolder)
{
    const QDir application(applicationFolder);
    const QString hostProgramPath = application.absoluteFilePath(hostProgram);
    QFile extension(ApplicationFiles::extensionFolder(applicationFolder) + QStringLiteral("/manifest.json"));
    if (!QFileInfo(hostProgramPath).isFile() ||
        !QFileInfo(application.absoluteFilePath(mainProgram)).isFile() ||
        !extension.open(QIODevice::ReadOnly)) {
        return {{},
                {},
                QStringLiteral("Setup files are missing. Run Rushlet from the packaged application folder, "
                               "which includes RushletNativeHost and chrome-extension.")};
    }
    const QJsonValue key = QJsonDocument::fromJson(extension.readAll()).object().value(QStringLiteral("key"));
    const QString id = extensionId(key.toString());
    if (id.isEmpty())
        return {{}, {}, QStringLiteral("The extension manifest does not contain a valid public key.")};
    return {hostProgramPath, id, {}};
}

QString wrapperPath(const BrowserCatalog::Browser &browser)
{
    return browser.manifestFolder + u'/' + wrapperName;
}

// What `browser` reads: the host itself, or from inside a sandbox the wrapper that reaches it.
QJsonObject browserManifest(const BrowserCatalog::Browser &browser, const Plan &plan)
{
    const QString program = browser.flatpakId.isEmpty() ? plan.hostProgramPath : wrapperPath(browser);
    return browser.family == BrowserCatalog::Family::Firefox
               ? firefoxManifest(program, firefoxAddonId())
               : hostManifest(program, plan.extensionId, firefoxAddonId());
}

QByteArray encoded(const QJsonObject &manifest)
{
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isCurrent(const QString &path, const QJsonObject &expected)
{
    return QJsonDocument::fromJson(contentOf(path)).object() == expected;
}

// `hostKnowsCallers`: the data folder's manifest, which the host checks its callers against, is
// as this registration writes it.
State stateOf(const BrowserCatalog::Browser &browser, const Plan &plan, bool hostKnowsCallers)
{
    const QString manifest = manifestPath(browser.manifestFolder);
    if (!QFileInfo::exists(manifest))
        return State::NotRegistered;
    if (!plan.error.isEmpty() || !hostKnowsCallers || !isCurrent(manifest, browserManifest(browser, plan)))
        return State::NeedsRepair;
    if (browser.flatpakId.isEmpty())
        return State::Registered;
    if (!QFileInfo(wrapperPath(browser)).isExecutable() ||
        contentOf(wrapperPath(browser)) != FlatpakSandbox::hostWrapper(plan.hostProgramPath))
        return State::NeedsRepair;
    return FlatpakSandbox::mayRunOutside(browser.flatpakId) ? State::Registered : State::NeedsPermission;
}

QJsonObject dataFolderManifest(const Plan &plan)
{
    return hostManifest(plan.hostProgramPath, plan.extensionId, firefoxAddonId());
}

bool hostKnowsCallers(const QString &manifestFolder, const Plan &plan)
{
    return plan.error.isEmpty() && isCurrent(manifestPath(manifestFolder), dataFolderManifest(plan));
}

QList<BrowserStatus> statusesFor(const QString &applicationFolder, const QString &manifestFolder,
                                 const Plan &plan)
{
    const bool callersKnown = hostKnowsCallers(manifestFolder, plan);
    QList<BrowserStatus> statuses;
    const QList<BrowserCatalog::Browser> browsers = BrowserCatalog::found();
    for (const BrowserCatalog::Browser &browser : browsers) {
        const QString extension = browser.family == BrowserCatalog::Family::Firefox
                                      ? ApplicationFiles::firefoxExtensionFolder(applicationFolder)
                                      : ApplicationFiles::extensionFolder(applicationFolder);
        statuses.append(
            {browser, stateOf(browser, plan, callersKnown), QDir::toNativeSeparators(extension),
             browser.flatpakId.isEmpty() ? QString() : FlatpakSandbox::permissionCommand(browser.flatpakId)});
    }
    return statuses;
}

bool registerBrowser(const BrowserCatalog::Browser &browser, const Plan &plan)
{
    if (!QDir().mkpath(browser.manifestFolder))
        return false;
    // The wrapper first, so that the manifest never names a program that is not there yet.
    if (!browser.flatpakId.isEmpty() &&
        !NativeMessagingHosts::writeProgram(wrapperPath(browser),
                                            FlatpakSandbox::hostWrapper(plan.hostProgramPath)))
        return false;
    if (!NativeMessagingHosts::writeManifest(manifestPath(browser.manifestFolder),
                                             encoded(browserManifest(browser, plan))))
        return false;
    // The earlier product's host would otherwise keep answering its old extension.
    QFile::remove(browser.manifestFolder + u'/' + legacyHostName + QStringLiteral(".json"));
    return true;
}

} // namespace

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

QString firefoxAddonId()
{
    return QStringLiteral(RUSHLET_FIREFOX_ADDON_ID);
}

QString manifestPath(const QString &manifestFolder)
{
    return manifestFolder + u'/' + hostName + QStringLiteral(".json");
}

QJsonObject hostManifest(const QString &hostProgramPath, const QString &extensionId, const QString &addonId)
{
    QJsonObject manifest = firefoxManifest(hostProgramPath, addonId);
    manifest.insert(QStringLiteral("allowed_origins"),
                    QJsonArray{QStringLiteral("chrome-extension://%1/").arg(extensionId)});
    return manifest;
}

QJsonObject firefoxManifest(const QString &hostProgramPath, const QString &addonId)
{
    return {
        {QStringLiteral("name"), hostName.toString()},
        {QStringLiteral("description"), QStringLiteral("Rushlet desktop downloader")},
        {QStringLiteral("path"), QDir::fromNativeSeparators(hostProgramPath)},
        {QStringLiteral("type"), QStringLiteral("stdio")},
        {QStringLiteral("allowed_extensions"), QJsonArray{addonId}},
    };
}

Outcome inspect(const QString &applicationFolder, const QString &manifestFolder)
{
    const Plan plan = planFor(applicationFolder);
    return {plan.error, hostKnowsCallers(manifestFolder, plan),
            statusesFor(applicationFolder, manifestFolder, plan)};
}

Outcome registerBrowsers(const QString &applicationFolder, const QString &manifestFolder)
{
    const Plan plan = planFor(applicationFolder);
    if (!plan.error.isEmpty())
        return {plan.error, false, statusesFor(applicationFolder, manifestFolder, plan)};

    if (!QDir().mkpath(manifestFolder) ||
        !NativeMessagingHosts::writeManifest(manifestPath(manifestFolder), encoded(dataFolderManifest(plan))))
        return {QStringLiteral("Could not save the bridge configuration."), false,
                statusesFor(applicationFolder, manifestFolder, plan)};

    bool allRegistered = true;
    const QList<BrowserCatalog::Browser> browsers = BrowserCatalog::found();
    for (const BrowserCatalog::Browser &browser : browsers)
        allRegistered = registerBrowser(browser, plan) && allRegistered;
    return {allRegistered ? QString()
                          : QStringLiteral("Could not register every browser for your user account."),
            true, statusesFor(applicationFolder, manifestFolder, plan)};
}

} // namespace BrowserRegistration
