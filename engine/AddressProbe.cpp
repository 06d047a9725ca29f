#include "engine/AddressProbe.h"

#include "engine/RequestContextRules.h"
#include "platform/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTimer>

namespace {

constexpr int probeTimeoutMs = 30000;

// The current sidecars, else those of the earlier product that the engine takes over at its next
// start.
QString checkpointPath(const QString &destination)
{
    const QString current = destination + QStringLiteral(".rushlet.json");
    const QString legacy = destination + QStringLiteral(".brio.json");
    return QFileInfo::exists(current) || !QFileInfo::exists(legacy) ? current : legacy;
}

QString partPath(const QString &destination)
{
    const QString current = destination + QStringLiteral(".rushlet.part");
    const QString legacy = destination + QStringLiteral(".brio.part");
    return QFileInfo::exists(current) || !QFileInfo::exists(legacy) ? current : legacy;
}

bool readCheckpoint(const QString &destination, const QUrl &url, ResumeCheckpoint::Contents *contents)
{
    QFile file(checkpointPath(destination));
    return file.open(QIODevice::ReadOnly) &&
           ResumeCheckpoint::read(file.readAll(), url, destination, contents);
}

} // namespace

AddressProbe::AddressProbe(const QUrl &currentUrl, const QUrl &newUrl, const QString &destination,
                           const RequestContext &context, QObject *parent)
    : QObject(parent)
    , currentUrl(currentUrl)
    , newUrl(newUrl)
    , destination(destination)
    , context(context)
{
}

void AddressProbe::start()
{
    haveCheckpoint = readCheckpoint(destination, currentUrl, &stored);
    partSize = QFileInfo(partPath(destination)).size();
    if (!haveCheckpoint) {
        // Nothing recognised on disk: the address can change without asking the new one anything.
        QTimer::singleShot(0, this, [this] { conclude({AddressChangeRules::Verdict::Continue, {}, {}}); });
        return;
    }
    manager = new QNetworkAccessManager(this);
    for (const QNetworkCookie &cookie : RequestContextRules::networkCookies(context, newUrl))
        manager->cookieJar()->insertCookie(cookie);
    // The engine's own probe, so that the server answers as it will answer the engine.
    QNetworkRequest request = RequestContextRules::downloadRequest(newUrl, context, probeTimeoutMs);
    request.setRawHeader("Range", "bytes=0-0");
    reply = manager->get(request);
    connect(reply, &QNetworkReply::metaDataChanged, this, &AddressProbe::onMetaData);
    connect(reply, &QNetworkReply::finished, this, &AddressProbe::onFinished);
}

void AddressProbe::onMetaData()
{
    if (!reply)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0 || (status >= 300 && status <= 399))
        return;
    const DownloadRules::ProbeResult probed = DownloadRules::readProbeAnswer(
        {status, reply->rawHeader("Content-Range"), reply->rawHeader("Content-Length"),
         reply->rawHeader("Content-Encoding"), reply->rawHeader("ETag"), reply->rawHeader("Last-Modified")});
    conclude(AddressChangeRules::judge(&stored, partSize, status, probed));
}

void AddressProbe::onFinished()
{
    if (!reply)
        return;
    onMetaData();
    if (!reply)
        return;
    conclude({AddressChangeRules::Verdict::Refused,
              QStringLiteral("Could not connect to the new address: %1 The address was not changed."),
              {reply->errorString() + QLatin1Char('.')}});
}

void AddressProbe::conclude(const AddressChangeRules::Outcome &outcome)
{
    if (QNetworkReply *answered = std::exchange(reply, nullptr)) {
        answered->disconnect(this);
        answered->abort();
        answered->deleteLater();
    }
    emit finished(outcome);
}

bool AddressProbe::moveCheckpoint(const QString &destination, const QUrl &currentUrl, const QUrl &newUrl)
{
    ResumeCheckpoint::Contents contents;
    if (!readCheckpoint(destination, currentUrl, &contents))
        return true;
    contents.url = newUrl;
    return PrivateFiles::replace(checkpointPath(destination), ResumeCheckpoint::toJson(contents));
}
