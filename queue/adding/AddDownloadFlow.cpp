#include "queue/adding/AddDownloadFlow.h"

#include "engine/DownloadSnapshot.h"
#include "i18n/Localization.h"
#include "queue/adding/AddDialog.h"
#include "queue/list/DownloadList.h"
#include "ui/ModalDialogs.h"

#include <QUuid>

AddDownloadFlow::AddDownloadFlow(DownloadList &list, MainWindowHooks hooks)
    : list(list)
    , hooks(std::move(hooks))
{
}

QString AddDownloadFlow::run()
{
    AddDialog dialog(hooks.window);
    if (ModalDialogs::run(dialog) != QDialog::Accepted)
        return {};

    DownloadSnapshot snapshot;
    snapshot.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    snapshot.url = QUrl(dialog.linkText().trimmed(), QUrl::TolerantMode);
    snapshot.destination = dialog.destinationPath();
    snapshot.connections = dialog.connections();
    snapshot.speedLimit = dialog.speedLimit();
    snapshot.checksum = dialog.checksum();
    // Two downloads into one file would destroy each other's work.
    if (!list.idWithDestination(snapshot.destination).isEmpty() || !list.addDownload(snapshot)) {
        ModalDialogs::warning(hooks.window, Localization::translate(QStringLiteral("Already in queue")),
                              Localization::translate(QStringLiteral(
                                  "This destination is already in the list. Resume that download or choose a "
                                  "different file name.")));
        return {};
    }
    if (hooks.revealDownload)
        hooks.revealDownload(snapshot.id);
    // A failed save is reported by the list itself; the download stays and the next save retries.
    list.saveQueue();
    if (dialog.startsImmediately())
        list.startDownload(snapshot.id);
    return snapshot.id;
}
