#include "ui/WindowFrame.h"

#include <QMainWindow>
#include <QMenuBar>

WindowFrame::WindowFrame(QMainWindow *window)
    : QObject(window)
    , window(window)
{
}

void WindowFrame::installTitleBar(QMenuBar *menuBar)
{
    menuBar->setNativeMenuBar(false);
    window->setMenuWidget(menuBar);
}
