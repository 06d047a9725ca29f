#include "platform/BrowserPrograms.h"

#include "platform/DetachedProcess.h"

#include <QFileInfo>
#include <QFuture>
#include <QProcess>
#include <QPromise>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThreadPool>

#include <memory>

namespace {

// A browser that hangs on --version must not hang the caller with it.
constexpr int versionTimeoutMs = 2000;

} // namespace

namespace ChromeBrowser {

QString locate()
{
    static const QString candidates[] = {QStringLiteral("google-chrome-stable"),
                                         QStringLiteral("google-chrome"), QStringLiteral("chromium"),
                                         QStringLiteral("chromium-browser")};
    for (const QString &name : candidates) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty() && isChrome(path))
            return path;
    }
    return {};
}

void locateInBackground(QObject *context, std::function<void(const QString &path)> done)
{
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> located = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise] {
        promise->addResult(locate());
        promise->finish();
    });
    located.then(context, [done = std::move(done)](const QString &path) { done(path); });
}

bool isChrome(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return false;

    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(info.absoluteFilePath(), {QStringLiteral("--version")});
    if (!process.waitForStarted(versionTimeoutMs))
        return false;
    if (!process.waitForFinished(versionTimeoutMs)) {
        process.kill();
        process.waitForFinished(versionTimeoutMs);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return false;

    // "Google Chrome 120.0.6099.109" or "Chromium 120.0.6099.109 built on Debian ..."
    static const QRegularExpression product(QStringLiteral("^(Google Chrome|Chromium) "));
    return product.match(QString::fromUtf8(process.readAllStandardOutput()).trimmed()).hasMatch();
}

bool openExtensionsPage(const QString &chromePath)
{
    return DetachedProcess::launch(chromePath, {QStringLiteral("chrome://extensions/")});
}

} // namespace ChromeBrowser
