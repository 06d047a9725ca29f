#pragma once

#include <QProcess>
#include <QSize>

// A private X desktop for tests that need a real window manager: Xvfb on a display it picks itself
// (-displayfd, so parallel runs never meet) and openbox on it, both stopped by process id, the window
// manager first. Every wait is bounded. Usable before any application object exists, so that a test
// can point its own QApplication at the display.
class DesktopSession
{
public:
    ~DesktopSession();

    // Starts one screen of `screenSize` at 96 dots per inch, then the window manager (unless told
    // not to, for a display that a nested compositor fills), both with the private folders of
    // `base`; true once the window manager has taken the display, else the reason is in `error`.
    bool start(const QProcessEnvironment &base, const QSize &screenSize, QString *error,
               bool withWindowManager = true);
    // ":N" once started.
    QString display() const { return displayName; }

    // Ends the window manager, leaving the display without one (its announcement on the root
    // window stays behind, as after a crash); true once it has gone.
    bool stopWindowManager();

    // Runs a short program on the display (xdotool, xprop): true when it exits with 0 in time.
    bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr) const;

private:
    QProcessEnvironment environment;
    QProcess server;
    QProcess manager;
    QString displayName;
};
