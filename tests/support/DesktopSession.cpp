#include "tests/support/DesktopSession.h"

#include "tests/support/TestProcesses.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr int waitLimitMs = 30000;

} // namespace

DesktopSession::~DesktopSession()
{
    TestProcesses::stop(manager);
    TestProcesses::stop(server);
}

bool DesktopSession::start(const QProcessEnvironment &base, const QSize &screenSize, QString *error,
                           bool withWindowManager)
{
    // The server writes the display number it picked, and a line break, to the descriptor given.
    server.start("Xvfb", {"-displayfd", "1", "-screen", "0",
                          QStringLiteral("%1x%2x24").arg(screenSize.width()).arg(screenSize.height()), "-dpi",
                          "96", "-nolisten", "tcp"});
    QByteArray number;
    const QDeadlineTimer serverDeadline(waitLimitMs);
    while (!number.endsWith('\n') &&
           server.waitForReadyRead(int(qMax<qint64>(1, serverDeadline.remainingTime()))))
        number += server.readAllStandardOutput();
    if (!number.endsWith('\n')) {
        *error = "Xvfb gave no display: " + server.errorString() + ' ' + server.readAllStandardError();
        return false;
    }
    displayName = ':' + QString::fromLatin1(number.trimmed());
    environment = base;
    environment.insert("DISPLAY", displayName);
    if (!withWindowManager)
        return true;

    manager.setProcessEnvironment(environment);
    manager.start("openbox", {});
    // No event loop may run yet, so poll the display: a window manager that follows the desktop
    // conventions announces itself on the root window.
    const QDeadlineTimer managerDeadline(waitLimitMs);
    QByteArray check;
    while (!(run("xprop", {"-root", "-notype", "_NET_SUPPORTING_WM_CHECK"}, &check) &&
             check.contains("window id"))) {
        if (managerDeadline.hasExpired() || manager.state() == QProcess::NotRunning) {
            *error = "openbox did not take the display: " + manager.errorString() + ' ' +
                     manager.readAllStandardError();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

bool DesktopSession::stopWindowManager()
{
    TestProcesses::stop(manager);
    return manager.state() == QProcess::NotRunning;
}

bool DesktopSession::run(const QString &program, const QStringList &arguments, QByteArray *output) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(waitLimitMs)) {
        TestProcesses::stop(process);
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
