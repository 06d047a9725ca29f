#include "queue/actions/AddressChangeFlow.h"

#include "engine/AddressProbe.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/actions/TextEntryDialog.h"
#include "queue/input/DownloadInputRules.h"
#include "queue/list/DownloadList.h"
#include "queue/view/DisplayFormat.h"
#include "ui/ModalDialogs.h"

#include <QMainWindow>
#include <QStatusBar>

namespace {

constexpr int noticeTimeoutMs = 6000;

QString translated(const char *english)
{
    return Localization::translate(QString::fromUtf8(english));
}

} // namespace

bool AddressChangeFlow::canChange(const QString &status)
{
    return status == DownloadStatus::Paused || status == DownloadStatus::Error;
}

void AddressChangeFlow::ask(DownloadList &list, const QString &id, QWidget *window)
{
    const QueueEntry *entry = list.entry(id);
    if (!entry || !canChange(entry->snapshot.status))
        return;
    const QUrl current = entry->snapshot.url;
    const TextEntryDialog::Texts texts{
        translated("Change address"),
        translated("The new link to %1. The download goes on from where it stopped when the new address "
                   "serves the same file.")
            .arg(DisplayFormat::fileName(entry->snapshot.destination)),
        QStringLiteral("https://example.com/file.zip"), translated("Change address")};
    TextEntryDialog dialog(window, QStringLiteral("changeAddressDialog"), texts,
                           current.toString(QUrl::FullyEncoded), [current](const QString &text) {
                               return Localization::translate(
                                   DownloadInputRules::newAddressProblem(current, text));
                           });
    if (ModalDialogs::run(dialog) != QDialog::Accepted)
        return;
    check(list, id, QUrl(dialog.text(), QUrl::StrictMode), window);
}

void AddressChangeFlow::check(DownloadList &list, const QString &id, const QUrl &newUrl, QWidget *window,
                              Done done, const RequestContext &newContext)
{
    const QueueEntry *entry = list.entry(id);
    if (!entry || !canChange(entry->snapshot.status) ||
        !DownloadInputRules::newAddressProblem(entry->snapshot.url, newUrl.toString(QUrl::FullyEncoded))
             .isEmpty()) {
        if (done)
            done(false);
        return;
    }
    new AddressChangeFlow(list, id, newUrl, newContext, window, std::move(done));
}

AddressChangeFlow::AddressChangeFlow(DownloadList &list, const QString &id, const QUrl &newUrl,
                                     const RequestContext &newContext, QWidget *window, Done done)
    : QObject(window)
    , list(list)
    , id(id)
    , oldUrl(list.entry(id)->snapshot.url)
    , newUrl(newUrl)
    , newContext(newContext)
    , window(window)
    , done(std::move(done))
    , probe(new AddressProbe(oldUrl, newUrl, list.entry(id)->snapshot.destination, newContext, this))
{
    // Whatever engine the download had must not write its checkpoint while it is looked at.
    list.stopEngine(id);
    connect(probe, &AddressProbe::finished, this, &AddressChangeFlow::onChecked);
    showMessage("Checking the new address…");
    probe->start();
}

void AddressChangeFlow::onChecked(const AddressChangeRules::Outcome &outcome)
{
    const QueueEntry *entry = list.entry(id);
    // Started, removed or given another address while the new one was asked.
    if (!entry || !canChange(entry->snapshot.status) || entry->snapshot.url != oldUrl ||
        list.shuttingDown()) {
        if (entry && !list.shuttingDown())
            showMessage("The download changed while its new address was checked. Nothing was changed.");
        finish(false);
        return;
    }
    const QString title = translated("Change address");
    switch (outcome.verdict) {
    case AddressChangeRules::Verdict::Refused:
        showMessage("");
        ModalDialogs::warning(window, title, Localization::translate(outcome.reason, outcome.arguments));
        finish(false);
        return;
    case AddressChangeRules::Verdict::RestartFromZero:
        showMessage("");
        if (!ModalDialogs::question(
                window, title,
                Localization::translate(outcome.reason, outcome.arguments) + QStringLiteral("\n\n") +
                    translated("Start the download over from zero with the new address? What was downloaded "
                               "so far is fetched again."),
                translated("Start over"), translated("Keep the old address"))) {
            finish(false);
            return;
        }
        finish(apply());
        return;
    case AddressChangeRules::Verdict::Continue:
        finish(apply());
        return;
    }
}

bool AddressChangeFlow::apply()
{
    // The question may have taken a while: the download must still be the one that was checked.
    const QueueEntry *entry = list.entry(id);
    if (!entry || !canChange(entry->snapshot.status) || entry->snapshot.url != oldUrl)
        return false;
    DownloadSnapshot changed = entry->snapshot;
    list.stopEngine(id);
    if (!AddressProbe::moveCheckpoint(changed.destination, oldUrl, newUrl)) {
        ModalDialogs::warning(window, translated("Change address"),
                              translated("The resume information beside the file could not be updated. The "
                                         "address was not changed."));
        return false;
    }
    changed.url = newUrl;
    changed.context = newContext;
    changed.error.clear();
    if (!list.replaceSnapshot(id, changed)) {
        AddressProbe::moveCheckpoint(changed.destination, newUrl, oldUrl);
        return false;
    }
    // A failed save reports itself; the download goes on with its new address either way.
    list.saveQueue();
    list.startDownload(id);
    showMessage("The download goes on from its new address.");
    return true;
}

void AddressChangeFlow::finish(bool changed)
{
    if (done)
        done(changed);
    deleteLater();
}

void AddressChangeFlow::showMessage(const char *english)
{
    auto *mainWindow = qobject_cast<QMainWindow *>(window.data());
    if (!mainWindow)
        return;
    if (*english == '\0')
        mainWindow->statusBar()->clearMessage();
    else
        mainWindow->statusBar()->showMessage(translated(english), noticeTimeoutMs);
}
