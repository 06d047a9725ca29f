#include "tests/support/DesktopSession.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr int waitLimitMs = 30000;
constexpr int pollMs = 50;

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitLimitMs)) {
        process.kill();
        process.waitForFinished(waitLimitMs);
    }
}

} // namespace

DesktopSession::~DesktopSession()
{
    stop();
}

bool DesktopSession::start(const QProcessEnvironment &base, const QSize &screenSize)
{
    environment = base;
    if (!startServer(screenSize))
        return false;
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    manager.setProcessEnvironment(environment);
    manager.start(QStringLiteral("openbox"), {});
    if (!manager.waitForStarted(waitLimitMs)) {
        failure = QStringLiteral("openbox did not start: ") + manager.errorString();
        return false;
    }
    // No event loop may run yet: the caller's application does not exist. Poll the display.
    const QDeadlineTimer deadline(waitLimitMs);
    while (!windowManagerRuns()) {
        if (deadline.hasExpired() || manager.state() != QProcess::Running) {
            failure = QStringLiteral("openbox did not take over the display: ") +
                      QString::fromLocal8Bit(manager.readAllStandardError());
            return false;
        }
        QThread::msleep(pollMs);
    }
    return true;
}

bool DesktopSession::startServer(const QSize &screenSize)
{
    // The server writes the display number it chose, and a line break, to the descriptor given.
    server.start(
        QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
         QStringLiteral("%1x%2x24").arg(screenSize.width()).arg(screenSize.height()), QStringLiteral("-dpi"),
         QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!server.waitForStarted(waitLimitMs)) {
        failure = QStringLiteral("Xvfb did not start: ") + server.errorString();
        return false;
    }
    QByteArray number;
    const QDeadlineTimer deadline(waitLimitMs);
    while (!number.contains('\n') && server.state() == QProcess::Running && !deadline.hasExpired()) {
        server.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        number += server.readAllStandardOutput();
    }
    bool ok = false;
    const int value = number.trimmed().toInt(&ok);
    if (!number.contains('\n') || !ok) {
        failure = QStringLiteral("Xvfb gave no display number: ") +
                  QString::fromLocal8Bit(server.readAllStandardError());
        stopProcess(server);
        return false;
    }
    displayName = QLatin1Char(':') + QString::number(value);
    return true;
}

// A window manager that follows the desktop conventions announces itself on the root window.
bool DesktopSession::windowManagerRuns() const
{
    QByteArray output;
    return run(QStringLiteral("xprop"),
               {QStringLiteral("-root"), QStringLiteral("-notype"),
                QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
               &output) &&
           output.contains("window id");
}

bool DesktopSession::run(const QString &program, const QStringList &arguments, QByteArray *output) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(waitLimitMs)) {
        stopProcess(process);
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void DesktopSession::stop()
{
    stopProcess(manager);
    stopProcess(server);
    displayName.clear();
}
