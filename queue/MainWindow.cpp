#include "queue/MainWindow.h"

#include "bridge/BridgeProtocol.h"
#include "bridge/BrowserIntake.h"
#include "i18n/Localization.h"
#include "queue/DownloadList.h"

#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , list(new DownloadList(this))
{
    setWindowTitle(QStringLiteral("Rushlet Download Manager"));
    resize(960, 600);
    connect(list, &DownloadList::statusMessage, this,
            [this](const QString &text, int timeoutMs, const QStringList &arguments) {
                QString shown = Localization::translate(text);
                for (const QString &argument : arguments)
                    shown = shown.arg(argument);
                statusBar()->showMessage(shown, timeoutMs);
            });
    list->loadQueue();
}

void MainWindow::shutdown()
{
    list->shutdown();
}

QJsonObject MainWindow::handleBridgeRequest(const QJsonObject &request)
{
    if (list->shuttingDown())
        return BridgeProtocol::errorReply(QStringLiteral("Rushlet is closing."));
    const QJsonValue type = request.value(QStringLiteral("type"));
    if (type == QJsonValue(QStringLiteral("show"))) {
        if (isMinimized())
            showNormal();
        else
            show();
        raise();
        activateWindow();
        return {{QStringLiteral("ok"), true}};
    }
    if (type == QJsonValue(QStringLiteral("ping")))
        return {{QStringLiteral("ok"), true}};
    if (BridgeProtocol::isValidDownloadRequest(request))
        return BrowserIntake::acceptDownload(*list, request, BrowserIntake::downloadFolder());
    return BridgeProtocol::errorReply(QStringLiteral("Invalid download URL."));
}
