#pragma once

#include "update/UpdateFeed.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;
class UpdateDialog;

// Asks the maker's update server whether a newer release exists and shows the answer in the
// update dialog, from which the user can open the download link in the browser. It never downloads
// or installs anything itself, and one request at a time is all it sends. GUI thread only.
class UpdateChecker : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Idle,
        Checking,
        UpToDate,
        UpdateAvailable,
        Failed
    };
    Q_ENUM(State)

    // `window` is the main window: the checker's owner, the dialog's parent, and the window whose
    // visibility decides whether a silent check may announce what it found.
    UpdateChecker(QWidget *window, const QUrl &feedUrl);

    // Starts a check unless one is under way. With `withDialog` the dialog opens at once and follows
    // the check; without it the dialog opens only for an available update, and only while the
    // window is visible and no modal dialog is up.
    void check(bool withDialog);
    // Opens the dialog on the current state, or brings the open one to the front.
    void showDialog();
    // The program is closing: the check under way ends, the dialog closes, and from now on nothing
    // is checked or shown.
    void shutDown();

    State state() const { return current; }
    const UpdateFeed &feed() const { return lastFeed; }
    // The last failure's text in English, empty when the last check did not fail: what the program
    // found ("The update feed is too large.") or the network library's technical text.
    QString errorText() const { return error; }

signals:
    // On every change of state and at the end of every check.
    void stateChanged();

private:
    void finish(QNetworkReply *finished);
    bool mayAnnounce() const;
    void openDownloadLink();

    QWidget *window;
    const QUrl feedUrl;
    QNetworkAccessManager *network;
    QPointer<QNetworkReply> reply;
    QPointer<UpdateDialog> dialog;
    State current = State::Idle;
    UpdateFeed lastFeed;
    QString error;
    // What arrived of the feed so far: read as it comes, so that the read buffer never holds an
    // oversized feed back unnoticed.
    QByteArray body;
    bool tooLarge = false;
    bool closing = false;
};
