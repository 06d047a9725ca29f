#pragma once

#include <QProcess>
#include <QSize>

// A Wayland compositor of the test's own: weston nested in a private X display that it fills, so
// that a real pointer (xdotool on that display) reaches the compositor and through it the
// program, as on a desktop. Stopped by process id; every wait is bounded. Usable before any
// application object exists.
class WaylandSession
{
public:
    ~WaylandSession();

    // Starts weston on the X display `display` with an output of `size`, its socket in the runtime
    // folder of `environment`; true once the socket is there, else the reason is in `error`.
    bool start(const QProcessEnvironment &environment, const QString &display, const QSize &size,
               QString *error);
    // What WAYLAND_DISPLAY names for the programs that use it.
    QString socketName() const { return socket; }

private:
    QProcess compositor;
    QString socket;
};
