#include "platform/BrowserPrograms.h"

#include "platform/DetachedProcess.h"

#include <QFileInfo>
#include <QFuture>
#include <QProcess>
#include <QPromise>
#include <QStandardPaths>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace {

// A browser that hangs on --version must not hang the caller with it.
constexpr int answerTimeoutMs = 2000;

// Runs `program` with `arguments` and gives its output, or nothing when it failed or took too long.
std::optional<QByteArray> answer(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(answerTimeoutMs))
        return std::nullopt;
    if (!process.waitForFinished(answerTimeoutMs)) {
        process.kill();
        process.waitForFinished(answerTimeoutMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

} // namespace

namespace BrowserPrograms {

QString locate(const BrowserCatalog::Browser &browser)
{
    for (const QString &name : browser.programs) {
        const QString path = QFileInfo(name).isAbsolute() ? name : QStandardPaths::findExecutable(name);
        if (!path.isEmpty() && isBrowser(path, browser))
            return path;
    }
    return {};
}

Located locateFirst(const QList<BrowserCatalog::Browser> &candidates)
{
    for (const BrowserCatalog::Browser &browser : candidates) {
        const QString program = locate(browser);
        if (!program.isEmpty())
            return {browser, program};
    }
    return {};
}

void locateInBackground(QObject *context, const QList<BrowserCatalog::Browser> &candidates,
                        std::function<void(const Located &located)> done)
{
    auto promise = std::make_shared<QPromise<Located>>();
    QFuture<Located> located = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, candidates] {
        promise->addResult(locateFirst(candidates));
        promise->finish();
    });
    located.then(context, [done = std::move(done)](const Located &result) { done(result); });
}

bool isBrowser(const QString &path, const BrowserCatalog::Browser &browser)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return false;
    if (!browser.flatpakId.isEmpty())
        return answer(info.absoluteFilePath(), {QStringLiteral("info"), browser.flatpakId}).has_value();

    // "Google Chrome 120.0.6099.109", "Chromium 120.0.6099.109 built on Debian ...",
    // "Mozilla Firefox 128.5.0esr"
    const std::optional<QByteArray> version = answer(info.absoluteFilePath(), {QStringLiteral("--version")});
    return version && !browser.product.isEmpty() &&
           QString::fromUtf8(*version).trimmed().startsWith(browser.product);
}

bool openExtensionsPage(const Located &located)
{
    if (located.program.isEmpty())
        return false;
    QStringList arguments{located.browser.extensionsPage};
    if (!located.browser.flatpakId.isEmpty())
        arguments = QStringList{QStringLiteral("run"), located.browser.flatpakId} + arguments;
    return DetachedProcess::launch(located.program, arguments);
}

} // namespace BrowserPrograms
