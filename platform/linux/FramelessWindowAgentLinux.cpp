#include "platform/FramelessWindowAgent.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// What a press that the agent took is turning into.
enum class Gesture
{
    None,
    // Pressed on the title bar; a move starts once the pointer has gone past the drag distance.
    PendingMove,
    // The window manager could not move the window, so it follows the pointer.
    Moving,
    // The window manager could not resize the window, so its edges follow the pointer.
    Resizing,
};

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool left = edges.testFlag(Qt::LeftEdge);
    const bool right = edges.testFlag(Qt::RightEdge);
    const bool top = edges.testFlag(Qt::TopEdge);
    const bool bottom = edges.testFlag(Qt::BottomEdge);
    if ((left && top) || (right && bottom))
        return Qt::SizeFDiagCursor;
    if ((right && top) || (left && bottom))
        return Qt::SizeBDiagCursor;
    if (left || right)
        return Qt::SizeHorCursor;
    return Qt::SizeVerCursor;
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

// Whether something other than the program maximises windows and restores them. On an X display
// that is a window manager that says it supports maximised windows; Wayland compositors and Qt's
// own headless platforms always do.
bool windowManagerMaximizes()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return true;
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t supporting = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_atom_t supported = atom(connection, "_NET_SUPPORTED");
    const xcb_atom_t maximizedVertically = atom(connection, "_NET_WM_STATE_MAXIMIZED_VERT");
    if (supporting == XCB_ATOM_NONE || supported == XCB_ATOM_NONE || maximizedVertically == XCB_ATOM_NONE)
        return false;
    xcb_get_property_reply_t *check = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supporting, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t manager = XCB_NONE;
    if (check && xcb_get_property_value_length(check) == 4)
        manager = *static_cast<xcb_window_t *>(xcb_get_property_value(check));
    std::free(check);
    // A window manager that went away leaves its announcement behind, naming a window that is gone.
    xcb_get_geometry_reply_t *alive =
        manager == XCB_NONE
            ? nullptr
            : xcb_get_geometry_reply(connection, xcb_get_geometry(connection, manager), nullptr);
    std::free(alive);
    if (!alive)
        return false;
    xcb_get_property_reply_t *atoms = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
    bool maximizes = false;
    if (atoms) {
        const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(atoms));
        const int count = xcb_get_property_value_length(atoms) / int(sizeof(xcb_atom_t));
        maximizes = std::find(values, values + count, maximizedVertically) != values + count;
    }
    std::free(atoms);
    return maximizes;
}

} // namespace

struct FramelessWindowAgent::State
{
    QWidget *window = nullptr;
    // The native window the widget is shown in; it is replaced when the widget is re-created.
    QPointer<QWindow> handle;
    QPointer<QWidget> titleBar;
    QList<QPointer<QWidget>> hitTestVisible;

    Gesture gesture = Gesture::None;
    Qt::Edges resizeEdges;
    QPoint pressGlobal;
    QRect startGeometry;
    // The band under the pointer while no button is held, for the cursor it shows.
    Qt::Edges hoveredEdges;

    // Where the program maximises the window itself, the geometry it had before.
    QRect normalGeometry;
    bool maximizedByUs = false;

    // A button or menu title in the title bar keeps its whole area, the band along the window's
    // edge included.
    bool isOverHitTestVisible(const QPoint &position) const
    {
        for (QWidget *widget = window->childAt(position); widget && widget != window;
             widget = widget->parentWidget()) {
            if (hitTestVisible.contains(widget))
                return true;
        }
        return false;
    }

    Qt::Edges edgesAt(const QPoint &position) const
    {
        if (window->isMaximized() || window->isFullScreen() ||
            window->minimumSize() == window->maximumSize() || isOverHitTestVisible(position))
            return {};
        Qt::Edges edges;
        if (position.x() < resizeBorder)
            edges |= Qt::LeftEdge;
        if (position.x() >= window->width() - resizeBorder)
            edges |= Qt::RightEdge;
        if (position.y() < resizeBorder)
            edges |= Qt::TopEdge;
        if (position.y() >= window->height() - resizeBorder)
            edges |= Qt::BottomEdge;
        return edges;
    }

    bool isDragArea(const QPoint &position) const
    {
        if (!titleBar || !titleBar->isVisible())
            return false;
        QWidget *child = window->childAt(position);
        if (child == nullptr || (child != titleBar && !titleBar->isAncestorOf(child)))
            return false;
        return !isOverHitTestVisible(position);
    }

    // A maximised window dragged by its title bar comes back to its normal size under the pointer,
    // held at the same share of its width, and the drag goes on from there.
    void restoreUnderPointer(const QPoint &global)
    {
        const QRect maximized = window->geometry();
        const QPoint offset = pressGlobal - maximized.topLeft();
        // Read before the restore, after which the window reports the geometry it has now.
        QRect normal = maximizedByUs ? normalGeometry : window->normalGeometry();
        window->showNormal();
        const int x = global.x() - int(qint64(offset.x()) * normal.width() / std::max(1, maximized.width()));
        normal.moveTopLeft(QPoint(x, global.y() - offset.y()));
        window->setGeometry(normal);
        pressGlobal = global;
        startGeometry = normal;
    }

    // Where no window manager does it, the window takes the screen's available area itself when
    // maximised and its earlier geometry back when restored, so that what the window shows is what
    // its state (and the geometry saved from it) says.
    void followWindowState(Qt::WindowStates previous)
    {
        const bool maximized = window->isMaximized() && !window->isFullScreen();
        if (maximized && !previous.testFlag(Qt::WindowMaximized)) {
            if (windowManagerMaximizes())
                return;
            normalGeometry = window->normalGeometry();
            maximizedByUs = true;
            fillScreen();
        } else if (!maximized && previous.testFlag(Qt::WindowMaximized) && maximizedByUs) {
            maximizedByUs = false;
            if (!window->isMinimized() && normalGeometry.isValid())
                window->setGeometry(normalGeometry);
        }
    }

    // Through the native window: the widget's own geometry setter would take the window out of
    // its maximised state. A window not shown yet gets its place once it is (see the agent's
    // event filter), since showing it applies the widget's geometry.
    void fillScreen()
    {
        if (!handle || !window->isVisible() || !window->screen())
            return;
        handle->setGeometry(window->screen()->availableGeometry());
    }

    void begin(Gesture next, const QMouseEvent *press, Qt::Edges edges = {})
    {
        gesture = next;
        resizeEdges = edges;
        pressGlobal = press->globalPosition().toPoint();
        startGeometry = window->geometry();
    }

    QRect resizedGeometry(const QPoint &global) const
    {
        const QPoint delta = global - pressGlobal;
        const QSize minimum = window->minimumSize().expandedTo(window->minimumSizeHint());
        const QSize maximum = window->maximumSize();
        QRect geometry = startGeometry;
        if (resizeEdges.testFlag(Qt::LeftEdge))
            geometry.setLeft(qBound(geometry.right() + 1 - maximum.width(), geometry.left() + delta.x(),
                                    geometry.right() + 1 - minimum.width()));
        if (resizeEdges.testFlag(Qt::RightEdge))
            geometry.setRight(qBound(geometry.left() - 1 + minimum.width(), geometry.right() + delta.x(),
                                     geometry.left() - 1 + maximum.width()));
        if (resizeEdges.testFlag(Qt::TopEdge))
            geometry.setTop(qBound(geometry.bottom() + 1 - maximum.height(), geometry.top() + delta.y(),
                                   geometry.bottom() + 1 - minimum.height()));
        if (resizeEdges.testFlag(Qt::BottomEdge))
            geometry.setBottom(qBound(geometry.top() - 1 + minimum.height(), geometry.bottom() + delta.y(),
                                      geometry.top() - 1 + maximum.height()));
        return geometry;
    }

    // The band takes the pointer from whatever lies beneath it, so the widgets there are told
    // that the pointer left them, and told again when it comes back; buttons would otherwise keep
    // a hover look that a click would not honour.
    void hover(const QPoint &position, const QPointF &global)
    {
        const Qt::Edges edges = edgesAt(position);
        if (edges == hoveredEdges)
            return;
        QWidget *under = window->childAt(position);
        if (under == nullptr)
            under = window;
        if (edges) {
            if (!hoveredEdges) {
                QEvent leave(QEvent::Leave);
                QCoreApplication::sendEvent(under, &leave);
            }
            handle->setCursor(cursorFor(edges));
        } else {
            handle->setCursor(under->cursor());
            QEnterEvent enter(under->mapFrom(window, QPointF(position)), QPointF(position), global);
            QCoreApplication::sendEvent(under, &enter);
        }
        hoveredEdges = edges;
    }

    void leaveWindow()
    {
        if (!hoveredEdges)
            return;
        hoveredEdges = {};
        handle->setCursor(window->cursor());
    }
};

FramelessWindowAgent::FramelessWindowAgent(QWidget *window, QObject *parent)
    : QObject(parent)
    , state(std::make_unique<State>())
{
    state->window = window;
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->installEventFilter(this);
    state->handle = window->windowHandle();
    if (state->handle)
        state->handle->installEventFilter(this);
}

FramelessWindowAgent::~FramelessWindowAgent() = default;

void FramelessWindowAgent::setTitleBar(QWidget *titleBar)
{
    state->titleBar = titleBar;
}

void FramelessWindowAgent::setHitTestVisible(QWidget *widget)
{
    state->hitTestVisible.append(widget);
}

bool FramelessWindowAgent::setWindowAttribute(const QString &key, const QVariant &value)
{
    // A frame the program draws itself has no colours of the window manager's to set; the dark
    // frame of other desktops has no counterpart here.
    Q_UNUSED(key);
    Q_UNUSED(value);
    return false;
}

bool FramelessWindowAgent::eventFilter(QObject *watched, QEvent *event)
{
    State &s = *state;
    if (watched == s.window) {
        // The native window exists from the first show on and is replaced when the widget is
        // re-created; mouse input is taken from it before any widget sees it.
        if ((event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) &&
            s.window->windowHandle() != s.handle) {
            if (s.handle)
                s.handle->removeEventFilter(this);
            s.handle = s.window->windowHandle();
            if (s.handle)
                s.handle->installEventFilter(this);
        }
        if (event->type() == QEvent::WindowStateChange)
            s.followWindowState(static_cast<QWindowStateChangeEvent *>(event)->oldState());
        // Once the show has placed the native window where the widget says.
        if (event->type() == QEvent::Show && s.maximizedByUs)
            QMetaObject::invokeMethod(
                this, [this] { state->fillScreen(); }, Qt::QueuedConnection);
        return false;
    }
    if (watched != s.handle)
        return false;

    if (event->type() == QEvent::Leave) {
        s.leaveWindow();
        return false;
    }
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseMove &&
        event->type() != QEvent::MouseButtonRelease && event->type() != QEvent::MouseButtonDblClick)
        return false;

    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint position = mouse->position().toPoint();
    const QPoint global = mouse->globalPosition().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // Every press starts afresh, so a release that never arrived cannot leave a gesture
        // holding on to the pointer.
        s.gesture = Gesture::None;
        if (mouse->button() == Qt::RightButton && s.isDragArea(position) && !s.edgesAt(position)) {
            emit systemMenuRequested(global);
            return true;
        }
        if (mouse->button() != Qt::LeftButton)
            return false;
        if (const Qt::Edges edges = s.edgesAt(position)) {
            s.begin(Gesture::Resizing, mouse, edges);
            if (s.handle->startSystemResize(edges))
                s.gesture = Gesture::None;
            return true;
        }
        if (s.isDragArea(position)) {
            s.begin(Gesture::PendingMove, mouse);
            return true;
        }
        return false;

    case QEvent::MouseMove:
        if (!mouse->buttons().testFlag(Qt::LeftButton))
            s.gesture = Gesture::None;
        switch (s.gesture) {
        case Gesture::None:
            // A drag that a widget began is the widget's, wherever the pointer goes.
            if (mouse->buttons() != Qt::NoButton)
                return false;
            s.hover(position, mouse->globalPosition());
            return bool(s.hoveredEdges);
        case Gesture::PendingMove:
            // Starting on the press would leave the window manager holding the button, and the
            // second click of a double-click would never arrive.
            if ((global - s.pressGlobal).manhattanLength() < QApplication::startDragDistance())
                return true;
            if (s.window->isMaximized()) {
                if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
                    // An X window manager restores the window in its own time and may still
                    // hold the maximised geometry when a move it is asked for begins; the window
                    // follows the pointer by itself for the rest of this drag instead.
                    s.restoreUnderPointer(global);
                    s.gesture = Gesture::Moving;
                    return true;
                }
                // A compositor places windows itself: it restores the window as the move begins.
                s.window->showNormal();
            }
            if (s.handle->startSystemMove()) {
                s.gesture = Gesture::None;
                return true;
            }
            s.gesture = Gesture::Moving;
            [[fallthrough]];
        case Gesture::Moving:
            s.window->move(s.startGeometry.topLeft() + global - s.pressGlobal);
            return true;
        case Gesture::Resizing:
            s.window->setGeometry(s.resizedGeometry(global));
            return true;
        }
        return false;

    case QEvent::MouseButtonRelease:
        if (mouse->button() != Qt::LeftButton || s.gesture == Gesture::None)
            return false;
        s.gesture = Gesture::None;
        s.hover(position, mouse->globalPosition());
        return true;

    case QEvent::MouseButtonDblClick:
        if (mouse->button() != Qt::LeftButton || !s.isDragArea(position) || s.edgesAt(position))
            return false;
        s.gesture = Gesture::None;
        if (s.window->isMaximized())
            s.window->showNormal();
        else
            s.window->showMaximized();
        return true;

    default:
        return false;
    }
}
