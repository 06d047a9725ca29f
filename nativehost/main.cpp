// RushletNativeHost: the browser starts it for the extension, once per message. It checks the
// caller and the message, hands the message to the running Rushlet over the local bridge
// (starting Rushlet when none answers) and relays the reply. Every wait is bounded.

#include "bridge/protocol/BridgeProtocol.h"
#include "nativehost/CallerCheck.h"
#include "nativehost/NativeMessaging.h"
#include "platform/DetachedProcess.h"
#include "platform/LocalSockets.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace {

constexpr int messageReadLimitMs = 10000;
constexpr int firstConnectMs = 300;
constexpr int launchWindowMs = 10000;
constexpr int reconnectMs = 200;
constexpr int reconnectPauseMs = 100;
constexpr int writeLimitMs = 3000;
constexpr int replyLimitMs = 10000;

int fail(const QString &text)
{
    NativeMessaging::writeNativeMessage(STDOUT_FILENO, BridgeProtocol::errorReply(text));
    return 1;
}

// The manifest Rushlet wrote when the user set up the browsers lists the callers it accepts.
bool callerIsRegistered(const QStringList &arguments)
{
    QFile manifest(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                   QStringLiteral("/com.rushlet.downloader.json"));
    return manifest.open(QIODevice::ReadOnly) &&
           CallerCheck::isAllowed(arguments, QJsonDocument::fromJson(manifest.readAll()).object());
}

// Waits for Rushlet started just now to open its bridge.
bool connectAfterLaunch(QLocalSocket &socket, qint64 &serverProcessId)
{
    QElapsedTimer stopwatch;
    stopwatch.start();
    while (stopwatch.elapsed() < launchWindowMs) {
        socket.abort();
        if (BridgeProtocol::connectToBridge(socket, reconnectMs, &serverProcessId))
            return true;
        QThread::msleep(reconnectPauseMs);
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Both names decide the data folder, and with it the manifest and the bridge's name.
    QCoreApplication::setOrganizationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationName(QStringLiteral("Rushlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RUSHLET_VERSION));
    // The standard streams are read and written through their descriptors, which never translate
    // line ends, so the binary framing passes unchanged.

    // Chrome passes the caller's origin, Firefox the manifest's path and the add-on's id.
    if (!callerIsRegistered(QCoreApplication::arguments().mid(1)))
        return fail(QStringLiteral("Extension origin is not registered."));

    QByteArray body;
    switch (NativeMessaging::readMessage(STDIN_FILENO, messageReadLimitMs, body)) {
    case NativeMessaging::ReadResult::InvalidLength:
        return fail(QStringLiteral("Invalid message length."));
    case NativeMessaging::ReadResult::Incomplete:
        return fail(QStringLiteral("Incomplete message."));
    case NativeMessaging::ReadResult::Message:
        break;
    }

    const QJsonObject request = QJsonDocument::fromJson(body).object();
    const bool ping = request.value(QStringLiteral("type")) == QJsonValue(QStringLiteral("ping"));
    const bool status = BridgeProtocol::isValidStatusRequest(request);
    if (!ping && !status && !BridgeProtocol::isValidDownloadRequest(request))
        return fail(QStringLiteral("Unsupported download request."));

    QLocalSocket socket;
    qint64 serverProcessId = 0;
    if (!BridgeProtocol::connectToBridge(socket, firstConnectMs, &serverProcessId)) {
        // The browser asks after the downloads it holds again and again; a Rushlet the user quit
        // is not started for that, and the browser asks again later.
        if (status)
            return fail(QStringLiteral("Rushlet is not running."));
        const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/Rushlet");
        if (!DetachedProcess::launch(program, {QStringLiteral("--browser-launch")}))
            return fail(QStringLiteral("Could not launch Rushlet."));
        if (!connectAfterLaunch(socket, serverProcessId))
            return fail(QStringLiteral("Rushlet did not respond. Restart it and try again."));
    }
    // A confirmation dialog should come to the front although the user's click was in the browser.
    LocalSockets::allowForeground(serverProcessId);

    if (!BridgeProtocol::writeAll(socket, BridgeProtocol::encodeMessage(request),
                                  QDeadlineTimer(writeLimitMs)))
        return fail(QStringLiteral("Could not send the request to Rushlet."));

    const QJsonDocument reply = QJsonDocument::fromJson(
        BridgeProtocol::readReplyLine(socket, QDeadlineTimer(replyLimitMs)).trimmed());
    if (!reply.isObject())
        return fail(QStringLiteral("Rushlet did not acknowledge the download."));
    NativeMessaging::writeNativeMessage(STDOUT_FILENO, reply.object());
    return 0;
}
