#include "queue/MainWindow.h"

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
