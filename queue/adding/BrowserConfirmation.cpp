#include "queue/adding/BrowserConfirmation.h"

#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/adding/AddDialog.h"
#include "queue/list/DownloadList.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
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
        if (list.entry(id)->snapshot.status == DownloadStatus::AwaitingConfirmation) {
            confirm(id);
            return;
        }
    }
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

    const QString owner = list.idWithDestination(confirmed.destination);
    const DownloadSnapshot kept = list.entry(id)->snapshot;
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
