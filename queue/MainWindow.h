#pragma once

#include <QJsonObject>
#include <QMainWindow>

// The program's main window.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    // Stops the downloads and saves what must survive; safe to call more than once.
    void shutdown();

    // Answers one request from the local bridge: a second start of the program or the browser.
    QJsonObject handleBridgeRequest(const QJsonObject &request);

private:
    bool shuttingDown = false;
};
