#pragma once

#include <QJsonObject>
#include <QMainWindow>

class DownloadList;

// The program's main window. It owns the download list and shows what the list reports.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    DownloadList *downloads() const { return list; }

    // Stops every download and saves the list; safe to call more than once.
    void shutdown();

    // Answers one request from the local bridge: a second start of the program or the browser.
    QJsonObject handleBridgeRequest(const QJsonObject &request);

private:
    DownloadList *list;
};
