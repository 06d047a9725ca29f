#pragma once

#include "engine/AddressChangeRules.h"
#include "engine/RequestContext.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class AddressProbe;
class DownloadList;
class QWidget;

// Gives a paused or failed download a new address, for a signed or expiring link that died
// halfway: the new address is asked for the first byte, and the download goes on from its
// checkpoint only when the size and a validator prove it is the same file; without anything to
// compare, only when the person agrees to start over from zero. Otherwise the person is told why
// and nothing changes. The flow lives until it is over, as a child of the window.
class AddressChangeFlow : public QObject
{
    Q_OBJECT

public:
    // Called with true once the new address is in place and the download started again.
    using Done = std::function<void(bool changed)>;

    // Asks for the new address in a dialog that checks it as it is typed, then as check() does.
    static void ask(DownloadList &list, const QString &id, QWidget *window);
    // Checks `newUrl` for the download and puts it in place; `done` follows in every case. A link
    // from the browser comes with the browser's session for it, which the check and the download
    // then use; a link typed by the person comes without one.
    static void check(DownloadList &list, const QString &id, const QUrl &newUrl, QWidget *window,
                      Done done = {}, const RequestContext &newContext = {});

    // A download whose address may change now: one that is paused or failed.
    static bool canChange(const QString &status);

private:
    AddressChangeFlow(DownloadList &list, const QString &id, const QUrl &newUrl,
                      const RequestContext &newContext, QWidget *window, Done done);
    void onChecked(const AddressChangeRules::Outcome &outcome);
    bool apply();
    void finish(bool changed);
    // In the window's status bar, translated; an empty text clears it.
    void showMessage(const char *english);

    DownloadList &list;
    const QString id;
    const QUrl oldUrl;
    const QUrl newUrl;
    const RequestContext newContext;
    QPointer<QWidget> window;
    Done done;
    AddressProbe *probe;
};
