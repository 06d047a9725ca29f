#pragma once

#include <QProcess>
#include <QSize>
#include <QStringList>

// A private X desktop for tests that need a real window manager: Xvfb on a display it chooses
// itself (-displayfd, so parallel runs never meet) and openbox on it. Both are kept by process
// id and stopped by it, the window manager first, when the session stops or goes away. Every
// wait is bounded. Usable before any application object exists, so that a test can point its
// own QApplication at the display.
class DesktopSession
{
public:
    DesktopSession() = default;
    ~DesktopSession();

    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    // Starts the X server with one screen of `screenSize` at 96 dots per inch, then the window
    // manager, with `base` (private HOME and XDG folders) and DISPLAY; returns once the window
    // manager has taken the display. On failure the reason is in error().
    bool start(const QProcessEnvironment &base, const QSize &screenSize);
    // ":N" once started.
    QString display() const { return displayName; }
    QString error() const { return failure; }

    // Runs a short command on the display to its end (xdotool, xprop): true when it exits with 0
    // in time. Its standard output goes to `output`.
    bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr) const;

    void stop();

private:
    bool startServer(const QSize &screenSize);
    bool windowManagerRuns() const;

    QProcessEnvironment environment;
    QProcess server;
    QProcess manager;
    QString displayName;
    QString failure;
};
