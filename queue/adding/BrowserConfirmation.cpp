#include "queue/adding/BrowserConfirmation.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/adding/AddDialog.h"
#include "queue/list/DownloadList.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// How long the pass waits for another modal window to close before it looks again.
constexpr int modalRetryMs = 250;

} // namespace

BrowserConfirmation::BrowserConfirmation(DownloadList &list, MainWindowHooks hooks, QObject *parent)
    : QObject(parent)
    , list(list)
    , hooks(std::move(hooks))
{
}

void BrowserConfirmation::schedule()
{
    QTimer::singleShot(0, this, &BrowserConfirmation::confirmAwaitingDownloads);
}

void BrowserConfirmation::confirmAwaitingDownloads()
{
    if (list.shuttingDown() || confirmationOpen)
        return;
    // A dialog of ours on top of another modal window would be blocked by it, or block it.
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(modalRetryMs, this, &BrowserConfirmation::confirmAwaitingDownloads);
        return;
    }
    const QStringList ids = list.ids();
    for (const QString &id : ids) {
        if (list.entry(id)->snapshot.status == DownloadStatus::AwaitingConfirmation &&
            !attaching.contains(id)) {
            const QString existing = newLinkOffers.take(id);
            if (!existing.isEmpty() && attachInstead(id, existing))
                schedule();
            else
                confirm(id);
            return;
        }
    }
}

void BrowserConfirmation::offerNewLink(const QString &id, const QString &existingId)
{
    if (hooks.attachLink)
        newLinkOffers.insert(id, existingId);
}

bool BrowserConfirmation::attachInstead(const QString &id, const QString &existingId)
{
    const QueueEntry *existing = list.entry(existingId);
    if (!existing || (existing->snapshot.status != DownloadStatus::Paused &&
                      existing->snapshot.status != DownloadStatus::Error))
        return false;
    confirmationOpen = true;
    const bool attach = ModalDialogs::question(
        hooks.window, Localization::translate(QStringLiteral("Download already in the list")),
        Localization::translate(
            QStringLiteral("The list already holds a download into %1 that stopped before "
                           "it was complete. Give it the link the browser just sent, so "
                           "that it goes on from where it stopped?"))
            .arg(QDir::toNativeSeparators(existing->snapshot.destination)),
        Localization::translate(QStringLiteral("Use the new link")),
        Localization::translate(QStringLiteral("Add separately")));
    confirmationOpen = false;
    if (!attach || list.shuttingDown() || !list.contains(id))
        return false;
    const DownloadSnapshot &waiting = list.entry(id)->snapshot;
    attaching.insert(id);
    hooks.attachLink(existingId, waiting.url, waiting.context, [this, id, existingId](bool changed) {
        attaching.remove(id);
        // Attached: the waiting download has nothing left to do, and the browser's copy follows the
        // download it was given to. Not attached: it is offered as any other, in the add dialog.
        if (changed && list.contains(id)) {
            list.discardDownload(id);
            list.noteAttached(id, existingId);
            list.saveQueue();
        }
        schedule();
    });
    return true;
}

void BrowserConfirmation::confirm(const QString &id)
{
    confirmationOpen = true;
    {
        // Without a parent, so that it shows even while the main window stays hidden, as after a
        // start by the browser.
        AddDialog dialog;
        if (hooks.window)
            dialog.setWindowIcon(hooks.window->windowIcon());
        // The window may be the only one shown; closing it must not end the program.
        dialog.setAttribute(Qt::WA_QuitOnClose, false);
        // Over the window while it shows, as its own dialogs are: a compositor places a window
        // that belongs to no other wherever it likes.
        if (hooks.window && hooks.window->isVisible() && hooks.window->windowHandle()) {
            dialog.winId();
            dialog.windowHandle()->setTransientParent(hooks.window->windowHandle());
        }
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.raise();
            dialog.activateWindow();
            // The browser the user is in keeps the focus where the desktop prevents stealing it,
            // as Wayland always does: the dialog then asks for the user's attention instead.
            QApplication::alert(&dialog);
        });
        const DownloadSnapshot waiting = list.entry(id)->snapshot;
        dialog.prefill(waiting.url, waiting.destination, waiting.connections);
        // Before the probe, only the browser knows how large the file is.
        dialog.setExpectedSize(waiting.total >= 0 ? waiting.total : waiting.context.size);

        while (!list.shuttingDown() && list.contains(id)) {
            const bool accepted = ModalDialogs::run(dialog) == QDialog::Accepted;
            // Closed by the shutdown: the download waits for the next start. Removed meanwhile:
            // there is nothing left to confirm.
            if (list.shuttingDown() || !list.contains(id))
                break;
            if (!accepted) {
                list.removeDownload(id);
                break;
            }
            if (accept(id, dialog))
                break;
        }
    }
    confirmationOpen = false;
    schedule();
}

bool BrowserConfirmation::accept(const QString &id, const AddDialog &dialog)
{
    DownloadSnapshot confirmed;
    confirmed.id = id;
    confirmed.url = QUrl(dialog.linkText().trimmed(), QUrl::TolerantMode);
    confirmed.destination = dialog.destinationPath();
    confirmed.connections = dialog.connections();
    confirmed.speedLimit = dialog.speedLimit();
    confirmed.checksum = dialog.checksum();

    const QString owner = list.idWithDestination(confirmed.destination);
    const DownloadSnapshot kept = list.entry(id)->snapshot;
    // The browser's session goes along with its link; the list drops it for an edited one.
    confirmed.context = kept.context;
    if ((!owner.isEmpty() && owner != id) || !list.replaceSnapshot(id, confirmed)) {
        ModalDialogs::warning(hooks.window, Localization::translate(QStringLiteral("Already in queue")),
                              Localization::translate(QStringLiteral(
                                  "Choose a different file name; this destination is already in the list.")));
        return false;
    }
    if (!list.saveQueue()) {
        list.replaceSnapshot(id, kept);
        ModalDialogs::warning(
            hooks.window, Localization::translate(QStringLiteral("Cannot save download")),
            Localization::translate(QStringLiteral("The queue could not be saved. Try again or cancel.")));
        return false;
    }
    // The engine was made for the waiting entry's link and file; the confirmed download gets a new
    // one, and its place at the end of the list.
    confirmed = list.entry(id)->snapshot;
    list.discardDownload(id);
    list.addDownload(confirmed);
    if (dialog.startsImmediately())
        list.startDownload(id);
    bringWindowToFront();
    return true;
}

void BrowserConfirmation::bringWindowToFront()
{
    if (hooks.bringToFront) {
        hooks.bringToFront();
        return;
    }
    if (!hooks.window)
        return;
    if (hooks.window->isMinimized())
        hooks.window->showNormal();
    else
        hooks.window->show();
    hooks.window->raise();
    hooks.window->activateWindow();
}
