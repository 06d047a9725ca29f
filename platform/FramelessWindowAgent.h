#pragma once

#include <QObject>

#include <memory>

class QPoint;
class QVariant;
class QWidget;

// Gives a top-level window without the desktop's frame what that frame would have offered: it
// is moved by dragging its title bar, resized at its edges and corners, and maximised or
// restored by a double-click on the title bar. The window manager does the moving and resizing
// where it can, so snapping and tiling behave as with a native frame; where it cannot, the
// window follows the mouse.
//
// Linux: an 8-pixel band inside the window's edges resizes it (not while maximised or full
// screen), except where a button or menu title of the title bar lies. A maximised window dragged
// by its title bar is restored and moved. Where no window manager maximises windows (an X display
// without one), the window takes the screen's available area itself. There is no portable way to
// open the window manager's own window menu, so a right-click on the title bar only asks the
// owner for one (systemMenuRequested).
class FramelessWindowAgent : public QObject
{
    Q_OBJECT

public:
    // Width of the band along the window's edges that resizes it.
    static constexpr int resizeBorder = 8;

    // Makes `window` frameless; the agent becomes a child of `parent`.
    FramelessWindowAgent(QWidget *window, QObject *parent);
    ~FramelessWindowAgent() override;

    // The widget, inside the window, whose empty parts move the window.
    void setTitleBar(QWidget *titleBar);

    // A widget inside the title bar that keeps its own clicks (buttons, menu titles) instead of
    // moving the window.
    void setHitTestVisible(QWidget *widget);

    // Hands a window attribute of the platform's frame to the window manager, such as "dark-mode"
    // for a dark frame. Returns false when the platform knows no such attribute.
    bool setWindowAttribute(const QString &key, const QVariant &value);

signals:
    // A right-click on the title bar's empty parts, at a global position.
    void systemMenuRequested(const QPoint &globalPosition);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct State;
    std::unique_ptr<State> state;
};
