#include "tests/support/WaylandSession.h"

#include "tests/support/TestProcesses.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

namespace {

constexpr int waitLimitMs = 30000;

} // namespace

WaylandSession::~WaylandSession()
{
    // weston ends the helper programs it started itself.
    TestProcesses::stop(compositor);
}

bool WaylandSession::start(const QProcessEnvironment &environment, const QString &display, const QSize &size,
                           QString *error)
{
    socket = QStringLiteral("rushlet-wayland-%1").arg(QCoreApplication::applicationPid());
    QProcessEnvironment onDisplay = environment;
    onDisplay.insert(QStringLiteral("DISPLAY"), display);
    compositor.setProcessEnvironment(onDisplay);
    compositor.setStandardOutputFile(QProcess::nullDevice());
    compositor.setStandardErrorFile(QProcess::nullDevice());
    // Drawn in software: the private display offers no graphics acceleration.
    compositor.start(QStringLiteral("weston"),
                     {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                      QStringLiteral("--socket=") + socket, QStringLiteral("--width=%1").arg(size.width()),
                      QStringLiteral("--height=%1").arg(size.height()), QStringLiteral("--idle-time=0")});
    if (!compositor.waitForStarted(waitLimitMs)) {
        *error = QStringLiteral("weston did not start: ") + compositor.errorString();
        return false;
    }
    // No event loop may run yet, so look for the socket.
    const QString path = environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + socket;
    const QDeadlineTimer deadline(waitLimitMs);
    while (!QFileInfo(path).exists()) {
        if (deadline.hasExpired() || compositor.state() == QProcess::NotRunning) {
            *error = QStringLiteral("weston gave no socket at ") + path;
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}
