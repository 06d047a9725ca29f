#include "platform/DesktopComposition.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>

namespace DesktopComposition {

namespace {

// The screen of the DISPLAY the program was started on ("host:display.screen"); the
// compositing manager claims one selection per screen.
int defaultScreenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon + 1);
    if (colon < 0 || dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

} // namespace

bool composesTranslucentWindows()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    // Wayland always composes, and offscreen rendering has no desktop to compose with.
    if (!x11 || !x11->connection())
        return true;
    xcb_connection_t *connection = x11->connection();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(defaultScreenNumber());
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return true;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    // An atom that was never created has no owner either.
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return true;
    const bool composited = owner->owner != XCB_NONE;
    std::free(owner);
    return composited;
}

} // namespace DesktopComposition
