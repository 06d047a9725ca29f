#pragma once

#include <QObject>

class QMainWindow;
class QMenuBar;

// The main window's own frame: a frameless window with a title bar of the program's (icon
// button, product name, the menu bar inline, caption buttons) in place of the system's.
class WindowFrame : public QObject
{
    Q_OBJECT

public:
    // Created first thing by the main window; becomes its child.
    explicit WindowFrame(QMainWindow *window);

    // Builds the title bar around the filled menu bar and puts it at the top of the window.
    void installTitleBar(QMenuBar *menuBar);

private:
    QMainWindow *window;
};
