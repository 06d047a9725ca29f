#include "tests/support/WaylandSession.h"

#include "tests/support/TestProcesses.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

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
    // Without an application object no event loop runs: the wait only sleeps between looks.
    const QString path = environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/') + socket;
    if (compositor.waitForStarted(30000) &&
        QTest::qWaitFor([&] { return QFileInfo::exists(path) || compositor.state() != QProcess::Running; },
                        30000) &&
        QFileInfo::exists(path))
        return true;
    *error = QStringLiteral("weston gave no socket at %1 (%2)").arg(path, compositor.errorString());
    return false;
}
