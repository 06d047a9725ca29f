#include "queue/MainWindow.h"

#include "queue/DownloadList.h"

#include <QStatusBar>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , list(new DownloadList(this))
{
    setWindowTitle(QStringLiteral("Rushlet Download Manager"));
    resize(960, 600);
    connect(list, &DownloadList::statusMessage, statusBar(), &QStatusBar::showMessage);
    list->loadQueue();
}

void MainWindow::shutdown()
{
    list->shutdown();
}
