#pragma once

#include <QMainWindow>

// The program's main window.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    // Stops the downloads and saves what must survive; safe to call more than once.
    void shutdown();

private:
    bool shuttingDown = false;
};
