#pragma once

#include "queue/adding/MainWindowHooks.h"

#include <QHash>
#include <QObject>
#include <QSet>

class AddDialog;
class DownloadList;

// Downloads sent from the browser wait in the list until the user confirms them. This offers
// them in the add dialog, one at a time in list order: a confirmed download becomes a new entry
// with the same id, queued or started; a cancelled one leaves the list. While the program shuts
// down nothing is offered, and a dialog that is open then leaves its download waiting.
class BrowserConfirmation : public QObject
{
    Q_OBJECT

public:
    BrowserConfirmation(DownloadList &list, MainWindowHooks hooks, QObject *parent = nullptr);

    // Offers the next waiting download once control is back in the event loop: after start-up,
    // and after every browser request, repeated ones included.
    void schedule();
    // True while a confirmation dialog is showing.
    bool isOpen() const { return confirmationOpen; }
    // The waiting download `id` was sent for the destination of the paused or failed download
    // `existingId`, whose link has probably died: before it is offered, the person is asked whether
    // its link should go to that download instead. Asked once; kept for this run only.
    void offerNewLink(const QString &id, const QString &existingId);

public slots:
    // Offers the first waiting download in list order now, unless a confirmation is already
    // showing; with another modal window open, tries again shortly.
    void confirmAwaitingDownloads();

private:
    void confirm(const QString &id);
    // Asks whether the link of waiting download `id` goes to `existingId`; true when it is being
    // attached, and the waiting download is left alone meanwhile.
    bool attachInstead(const QString &id, const QString &existingId);
    // True once the download was confirmed (and is in the list anew); false to offer it again.
    bool accept(const QString &id, const AddDialog &dialog);
    void bringWindowToFront();

    DownloadList &list;
    MainWindowHooks hooks;
    bool confirmationOpen = false;
    QHash<QString, QString> newLinkOffers;
    // Waiting downloads whose link is being checked against the download they may continue.
    QSet<QString> attaching;
};
