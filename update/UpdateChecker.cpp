#include "update/UpdateChecker.h"

#include "update/UpdateDialog.h"
#include "update/UpdateFeedRules.h"
#include "update/UpdateSource.h"

#include <QApplication>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QWidget>

namespace {

// Ends a transfer during which nothing arrives for this long.
constexpr int transferTimeoutMs = 15000;
// Ends a check however slowly the answer trickles in.
constexpr int deadlineMs = 20000;

} // namespace

UpdateChecker::UpdateChecker(QWidget *window, const QUrl &feedUrl)
    : QObject(window)
    , window(window)
    , feedUrl(feedUrl)
    , network(new QNetworkAccessManager(this))
{
}

void UpdateChecker::check(bool withDialog)
{
    if (closing)
        return;
    if (withDialog)
        showDialog();
    if (reply)
        return;

    lastFeed = UpdateFeed();
    error.clear();
    body.clear();
    tooLarge = false;
    current = State::Checking;
    emit stateChanged();

    QNetworkRequest request(feedUrl);
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    // Over HTTP/2 the read buffer holds nothing back, so the size limit would no longer bound
    // what a server can make the program hold in memory.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Rushlet/" RUSHLET_VERSION));

    QNetworkReply *sent = network->get(request);
    reply = sent;
    // One byte more than a feed may hold, so that an oversized body shows itself while it arrives.
    sent->setReadBufferSize(UpdateFeedRules::maxFeedBytes + 1);
    auto *deadline = new QTimer(sent);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, sent, &QNetworkReply::abort);
    deadline->start(deadlineMs);
    const auto cutOff = [this, sent] {
        tooLarge = true;
        sent->abort();
    };
    // A feed that announces its size is refused before its body; one sent without a length is cut
    // off as soon as it outgrows the limit.
    connect(sent, &QNetworkReply::metaDataChanged, this, [sent, cutOff] {
        if (sent->header(QNetworkRequest::ContentLengthHeader).toLongLong() > UpdateFeedRules::maxFeedBytes)
            cutOff();
    });
    connect(sent, &QNetworkReply::readyRead, this, [this, sent, cutOff] {
        body += sent->readAll();
        if (body.size() > UpdateFeedRules::maxFeedBytes)
            cutOff();
    });
    connect(sent, &QNetworkReply::finished, this, [this, sent] { finish(sent); });
}

void UpdateChecker::finish(QNetworkReply *finished)
{
    const int status = finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An error status is reported as such, also when Qt has turned it into an error of its own.
    if (status >= 400) {
        error = QStringLiteral("HTTP %1").arg(status);
    } else if (tooLarge) {
        error = QStringLiteral("The update feed is too large.");
    } else if (finished->error() == QNetworkReply::OperationCanceledError) {
        // Qt reports its transfer time-out and the deadline's abort as a cancel, which would read
        // as if the user had cancelled.
        error = QStringLiteral("The update server did not answer in time.");
    } else if (finished->error() != QNetworkReply::NoError) {
        error = finished->errorString();
    } else if (status == 200) {
        body += finished->readAll();
        if (body.size() > UpdateFeedRules::maxFeedBytes)
            error = QStringLiteral("The update feed is too large.");
        else if (!UpdateFeedRules::parseFeed(body, UpdateSource::feedMember(), UpdateSource::makerDomain(),
                                             &lastFeed))
            error = QStringLiteral("Invalid update feed.");
    } else {
        error = QStringLiteral("HTTP %1").arg(status);
    }
    reply = nullptr;
    body.clear();
    finished->deleteLater();

    if (!error.isEmpty())
        current = State::Failed;
    else if (UpdateFeedRules::isNewerVersion(lastFeed.version, UpdateSource::currentVersion()))
        current = State::UpdateAvailable;
    else
        current = State::UpToDate;
    if (current == State::UpdateAvailable && !dialog && mayAnnounce())
        showDialog();
    emit stateChanged();
}

bool UpdateChecker::mayAnnounce() const
{
    // Not over the tray, where the window hides, nor on top of a question the user is answering.
    return !closing && window->isVisible() && !QApplication::activeModalWidget();
}

void UpdateChecker::showDialog()
{
    if (!dialog) {
        auto *created = new UpdateDialog(window);
        dialog = created;
        connect(this, &UpdateChecker::stateChanged, created,
                [this, created] { created->display(current, lastFeed, error); });
        connect(created, &UpdateDialog::retryRequested, this, [this] { check(true); });
        connect(created, &UpdateDialog::downloadRequested, this, &UpdateChecker::openDownloadLink);
        created->display(current, lastFeed, error);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void UpdateChecker::shutDown()
{
    closing = true;
    if (dialog)
        dialog->close();
    if (reply)
        reply->abort();
}

void UpdateChecker::openDownloadLink()
{
    if (current != State::UpdateAvailable)
        return;
    if (!QDesktopServices::openUrl(lastFeed.url) && dialog)
        dialog->showLinkFailure();
}
