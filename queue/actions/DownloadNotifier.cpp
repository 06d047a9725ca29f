#include "queue/actions/DownloadNotifier.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "platform/DesktopNotifications.h"
#include "queue/actions/FileActions.h"
#include "queue/list/DownloadList.h"
#include "queue/view/DisplayFormat.h"

#include <QFileInfo>
#include <QSettings>
#include <QWidget>

namespace {

const QString settingKey = QStringLiteral("notifications");
const QString openAction = QStringLiteral("open");
const QString folderAction = QStringLiteral("folder");
const QString showAction = QStringLiteral("show");
// A click on the notice itself.
const QString defaultAction = QStringLiteral("default");

DesktopNotifications::Notice noticeFor(const DownloadSnapshot &snapshot)
{
    DesktopNotifications::Notice notice;
    notice.summary = DisplayFormat::fileName(snapshot.destination);
    if (snapshot.status == DownloadStatus::Completed) {
        notice.body = DisplayFormat::formatSize(snapshot.total, &Localization::translate);
        notice.category = QStringLiteral("transfer.complete");
        notice.actions = {{defaultAction, QString()},
                          {openAction, Localization::translate(QStringLiteral("Open"))},
                          {folderAction, Localization::translate(QStringLiteral("Show in folder"))}};
    } else {
        notice.body = snapshot.error;
        notice.category = QStringLiteral("transfer.error");
        notice.actions = {{defaultAction, QString()},
                          {showAction, Localization::translate(QStringLiteral("Show"))}};
    }
    return notice;
}

} // namespace

DownloadNotifier::DownloadNotifier(DownloadList &list, QWidget *window,
                                   std::function<void(const QString &id)> showDownload, QObject *parent)
    : QObject(parent)
    , list(list)
    , window(window)
    , showDownload(std::move(showDownload))
    , notifications(new DesktopNotifications(this))
{
    connect(&list, &DownloadList::downloadUpdated, this, &DownloadNotifier::onDownloadUpdated);
    connect(notifications, &DesktopNotifications::actionInvoked, this, &DownloadNotifier::onAction);
}

bool DownloadNotifier::isEnabled()
{
    return QSettings().value(settingKey, true).toBool();
}

void DownloadNotifier::setEnabled(bool enabled)
{
    QSettings().setValue(settingKey, enabled);
}

void DownloadNotifier::onDownloadUpdated(const QString &id)
{
    const QueueEntry *entry = list.entry(id);
    if (entry == nullptr)
        return;
    const DownloadSnapshot &snapshot = entry->snapshot;
    const QString previous = std::exchange(reportedStatus[id], snapshot.status);
    const bool ended =
        snapshot.status == DownloadStatus::Completed || snapshot.status == DownloadStatus::Error;
    if (!ended || previous == snapshot.status || window->isActiveWindow() || !isEnabled())
        return;
    notifications->show(id, noticeFor(snapshot));
}

void DownloadNotifier::onAction(const QString &id, const QString &action)
{
    const QueueEntry *entry = list.entry(id);
    if (entry == nullptr)
        return;
    const DownloadSnapshot &snapshot = entry->snapshot;
    if (action == openAction) {
        if (snapshot.status == DownloadStatus::Completed && QFileInfo(snapshot.destination).isFile())
            FileActions::openFile(window, snapshot.destination);
    } else if (action == folderAction) {
        FileActions::openInFolder(window, snapshot.destination);
    } else if (action == showAction || action == defaultAction) {
        showDownload(id);
    }
}
