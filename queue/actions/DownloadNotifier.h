#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class DesktopNotifications;
class DownloadList;
class QWidget;

// Tells the user on the desktop when a download has finished or failed while they are elsewhere:
// one notice per download, replaced if the same download ends again, with the file's own commands
// on it. Nothing shows while the window is the active one, or when the user turned notices off
// (the setting "notifications", on by default).
class DownloadNotifier : public QObject
{
    Q_OBJECT

public:
    // `showDownload` brings the window up with the download selected.
    DownloadNotifier(DownloadList &list, QWidget *window, std::function<void(const QString &id)> showDownload,
                     QObject *parent);

    static bool isEnabled();
    static void setEnabled(bool enabled);

private:
    void onDownloadUpdated(const QString &id);
    void onAction(const QString &id, const QString &action);

    DownloadList &list;
    QWidget *window;
    std::function<void(const QString &id)> showDownload;
    DesktopNotifications *notifications;
    // The status each download last reported, so that only the report that ends it notifies.
    QHash<QString, QString> reportedStatus;
};
