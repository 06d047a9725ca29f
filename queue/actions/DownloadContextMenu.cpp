#include "queue/actions/DownloadContextMenu.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/actions/AddressChangeFlow.h"
#include "queue/actions/FileActions.h"
#include "queue/actions/SpeedLimitMenu.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "ui/RushletIcons.h"

#include <QFileInfo>

namespace {

QString translated(const char *english)
{
    return Localization::translate(QString::fromUtf8(english));
}

// Start, resume and retry all send "start"; a running, finished or unconfirmed download has
// nothing to start.
bool canStart(const QString &status)
{
    return !QueueRules::isActiveStatus(status) && status != DownloadStatus::Completed &&
           status != DownloadStatus::AwaitingConfirmation;
}

QString startLabel(const QString &status)
{
    if (status == DownloadStatus::Queued)
        return translated("Start");
    if (status == DownloadStatus::Error)
        return translated("Retry");
    return translated("Resume");
}

bool canOpenFile(const DownloadSnapshot &snapshot)
{
    return snapshot.status == DownloadStatus::Completed && QFileInfo(snapshot.destination).isFile();
}

} // namespace

void DownloadContextMenu::run(DownloadList &list, const QString &id, const QPoint &globalPos, QWidget *parent)
{
    if (!list.contains(id))
        return;
    DownloadContextMenu menu(list, id, parent);
    menu.modal = true;
    menu.liveUpdate.start();
    menu.QMenu::exec(globalPos);
    menu.finish();
}

DownloadContextMenu::DownloadContextMenu(DownloadList &list, const QString &id, QWidget *parent)
    : PopupMenu(parent)
    , list(list)
    , id(id)
{
    setObjectName(QStringLiteral("downloadContextMenu"));
    setToolTipsVisible(true);
    resume = addAction(RushletIcons::icon(IconKind::Play), translated("Resume"));
    pause = addAction(RushletIcons::icon(IconKind::Pause), translated("Pause"));
    addSeparator();
    openFile = addAction(RushletIcons::icon(IconKind::Document), translated("Open file"));
    openFolder = addAction(RushletIcons::icon(IconKind::Folder), translated("Open in folder"));
    addSeparator();
    copyUrl = addAction(translated("Copy download URL"));
    copyPath = addAction(translated("Copy file path"));
    addSeparator();
    speedLimits = new SpeedLimitMenu(this);
    addMenu(speedLimits);
    changeAddress = addAction(translated("Change address…"));
    changeAddress->setToolTip(
        translated("Give a paused or failed download a new link and go on from where it "
                   "stopped"));
    addSeparator();
    remove = addAction(RushletIcons::icon(IconKind::Trash), translated("Remove from list"));
    remove->setToolTip(translated("Keep downloaded and partial files on disk"));

    connect(this, &QMenu::triggered, this, [this](QAction *action) { chosen = action; });
    // The menu hides before it reports the triggered entry, so the entry is carried out on the
    // next pass of the event loop.
    connect(this, &QMenu::aboutToHide, this, [this] {
        liveUpdate.stop();
        if (!modal)
            QTimer::singleShot(0, this, &DownloadContextMenu::finish);
    });
    liveUpdate.setInterval(liveUpdateIntervalMs);
    connect(&liveUpdate, &QTimer::timeout, this, &DownloadContextMenu::applyLiveState);
    applyLiveState();
}

void DownloadContextMenu::open(const QPoint &globalPos)
{
    liveUpdate.start();
    popup(globalPos);
}

void DownloadContextMenu::applyLiveState()
{
    const QueueEntry *entry = list.entry(id);
    if (!entry) {
        close();
        return;
    }
    const DownloadSnapshot &snapshot = entry->snapshot;
    resume->setText(startLabel(snapshot.status));
    resume->setEnabled(canStart(snapshot.status));
    pause->setEnabled(QueueRules::isActiveStatus(snapshot.status));
    openFile->setEnabled(canOpenFile(snapshot));
    speedLimits->menuAction()->setEnabled(snapshot.status != DownloadStatus::Completed);
    speedLimits->showLimit(snapshot.speedLimit);
    changeAddress->setEnabled(AddressChangeFlow::canChange(snapshot.status));
}

void DownloadContextMenu::finish()
{
    if (finished)
        return;
    finished = true;
    liveUpdate.stop();
    const QueueEntry *entry = list.entry(id);
    if (chosen && entry) {
        // A copy: carrying out the entry may change or remove the download.
        const DownloadSnapshot snapshot = entry->snapshot;
        perform(chosen, snapshot);
    }
    emit closed();
}

void DownloadContextMenu::perform(QAction *action, const DownloadSnapshot &snapshot)
{
    QWidget *window = parentWidget();
    if (action == resume) {
        if (canStart(snapshot.status))
            list.startDownload(id);
    } else if (action == pause) {
        if (QueueRules::isActiveStatus(snapshot.status))
            list.pauseDownload(id);
    } else if (action == openFile) {
        if (canOpenFile(snapshot))
            FileActions::openFile(window, snapshot.destination);
    } else if (action == openFolder) {
        FileActions::openInFolder(window, snapshot.destination);
    } else if (action == copyUrl) {
        FileActions::copyUrl(snapshot.url);
    } else if (action == copyPath) {
        FileActions::copyPath(snapshot.destination);
    } else if (action == remove) {
        list.removeDownload(id);
    } else if (action == changeAddress) {
        if (AddressChangeFlow::canChange(snapshot.status))
            AddressChangeFlow::ask(list, id, window);
    } else if (action == speedLimits->customAction()) {
        const qint64 chosen = SpeedLimitMenu::askCustomLimit(window, snapshot.speedLimit);
        if (chosen > 0 && list.contains(id))
            list.setSpeedLimit(id, chosen);
    } else if (speedLimits->limitOf(action) >= 0) {
        list.setSpeedLimit(id, speedLimits->limitOf(action));
    }
}
