#include "queue/MainWindow.h"

#include "bridge/BridgeProtocol.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Rushlet Download Manager"));
    resize(960, 600);
}

void MainWindow::shutdown()
{
    if (shuttingDown)
        return;
    shuttingDown = true;
}

QJsonObject MainWindow::handleBridgeRequest(const QJsonObject &request)
{
    if (shuttingDown)
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
    return BridgeProtocol::errorReply(QStringLiteral("Invalid download URL."));
}
