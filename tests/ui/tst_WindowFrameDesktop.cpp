// The frameless main window under a real window manager: Xvfb and openbox, driven by xdotool.
// The test program is itself the window's program, on the xcb platform of the private display.
// Every step waits for what the X server shows before the next, so a busy machine only slows it.

#include "platform/FramelessWindowAgent.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ColourScheme.h"
#include "ui/PopupMenu.h"
#include "ui/WindowFrame.h"
#include "ui/WindowMenu.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyleHints>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

namespace {

constexpr int waitLimitMs = 30000;
const QSize screenSize(1280, 800);
// The pointer's first step after a press, past the distance at which a drag begins. The window
// manager moves the window from where it took the drag over, so the window may lag by it.
const QPoint firstStep(12, 8);

} // namespace

class TestWindowFrameDesktop : public QObject
{
    Q_OBJECT

public:
    explicit TestWindowFrameDesktop(DesktopSession &session)
        : session(session)
    {
        qApp->installEventFilter(this);
    }

private slots:
    void init()
    {
        window = std::make_unique<QMainWindow>();
        auto *frame = new WindowFrame(window.get());
        auto *file = new PopupMenu("&File", window->menuBar());
        file->addAction("E&xit");
        window->menuBar()->addMenu(file);
        frame->installTitleBar(window->menuBar());
        bar = frame->titleBar();
        window->setCentralWidget(new QPlainTextEdit(window.get()));
        window->setGeometry(200, 150, 640, 420);
        window->show();
        // Not active: a window manager still starting may leave a new window unfocused, and no
        // step needs the focus, only the pointer, which hover() proves reaches the window.
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        QTRY_COMPARE_WITH_TIMEOUT(window->size(), QSize(640, 420), waitLimitMs);
        QVERIFY2(settles(false, window->geometry()), qPrintable(describe()));
    }

    void cleanup() { window.reset(); }

    void dragTitleBarMovesAndEdgeResizes()
    {
        QRect start = window->geometry();
        const QPoint from = bar->mapToGlobal(QPoint(bar->width() / 2, bar->height() / 2));
        const QPoint by(90, 70);
        QVERIFY(drag(from, from + by, [&](const QRect &now) {
            return now.size() == start.size() &&
                   (by - (now.topLeft() - start.topLeft())).manhattanLength() <= firstStep.manhattanLength();
        }));

        // The bottom-left corner: the left edge and the bottom follow the pointer.
        start = window->geometry();
        const QPoint corner = window->mapToGlobal(QPoint(2, window->height() - 3));
        const QRect expected = start.adjusted(-60, 0, 0, 50);
        QVERIFY2(drag(corner, corner + QPoint(-60, 50), [&](const QRect &now) { return now == expected; }),
                 qPrintable(describe()));
    }

    void doubleClickCaptionButtonsAndWindowMenu()
    {
        const QRect normal = window->geometry();
        const QRect screen(QPoint(0, 0), screenSize);
        const auto empty = [&] { return bar->mapToGlobal(QPoint(bar->width() / 2, bar->height() / 2)); };
        const auto button = [&](const char *name) {
            auto *widget = bar->findChild<QWidget *>(name);
            return widget->mapToGlobal(widget->rect().center());
        };

        QVERIFY(click(empty(), 2));
        QVERIFY2(settles(true, screen), qPrintable(describe()));
        QVERIFY(click(empty(), 2));
        QVERIFY2(settles(false, normal), qPrintable(describe()));

        QVERIFY(click(button("rushletMaximize")));
        QVERIFY2(settles(true, screen), qPrintable(describe()));
        // The menu of the icon offers what would change the window's state.
        QVERIFY(click(button("rushletSystemMenu")));
        auto *menu = window->findChild<WindowMenu *>();
        QVERIFY(menu);
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), waitLimitMs);
        QVERIFY(QTest::qWaitForWindowExposed(menu, waitLimitMs));
        QVERIFY(menu->restoreAction()->isEnabled());
        QVERIFY(!menu->maximizeAction()->isEnabled());
        QVERIFY(click(menu->mapToGlobal(menu->actionGeometry(menu->restoreAction()).center())));
        QVERIFY2(settles(false, normal), qPrintable(describe()));

        QVERIFY(click(button("rushletMinimize")));
        // The window manager unmaps a minimised window. Waiting for that too keeps the restore
        // below from being taken for done before the minimising has reached this program.
        QTRY_VERIFY_WITH_TIMEOUT(window->isMinimized() && !window->windowHandle()->isExposed(), waitLimitMs);
        window->showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        QVERIFY2(settles(false, normal), qPrintable(describe()));
        QVERIFY(click(button("rushletClose")));
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), waitLimitMs);
    }

    // Without a compositor the menu is a plain panel right under its title, with an edge all round
    // that the screen shows, corners included.
    void menuOpensAtItsTitleWithAnEdge()
    {
        auto *menuBar = window->findChild<QMenuBar *>();
        QAction *title = menuBar->actions().constFirst();
        auto *menu = qobject_cast<PopupMenu *>(title->menu());
        const QRect titleArea = menuBar->actionGeometry(title);
        QVERIFY(click(menuBar->mapToGlobal(titleArea.center())));
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), waitLimitMs);
        QVERIFY(QTest::qWaitForWindowExposed(menu, waitLimitMs));
        QVERIFY((menu->pos() - menuBar->mapToGlobal(titleArea.bottomLeft())).manhattanLength() <= 2);
        const ColourScheme::MenuColours colours = ColourScheme::menuColours(false);
        QImage shown;
        QVERIFY(QTest::qWaitFor(
            [&] {
                shown = menu->screen()
                            ->grabWindow(0, menu->x(), menu->y(), menu->width(), menu->height())
                            .toImage();
                return shown.pixelColor(3, shown.height() / 2) == QColor(colours.panel);
            },
            waitLimitMs));
        for (const QPoint &point :
             {QPoint(0, 0), QPoint(shown.width() - 1, shown.height() / 2),
              QPoint(shown.width() / 2, shown.height() - 1), QPoint(0, shown.height() - 1)})
            QCOMPARE(shown.pixelColor(point), QColor(colours.flatBorder));
    }

    // The top rows of a caption button are the button's, not the resize band's. Dragged by its
    // title bar, a maximised window comes back to its normal size under the pointer, held where it
    // was taken, and moves with it.
    void captionButtonsTakeTheTopEdgeAndDragRestores()
    {
        const QSize normal = window->size();
        auto *maximize = bar->findChild<QWidget *>("rushletMaximize");
        QVERIFY(maximize->mapTo(window.get(), QPoint(0, 2)).y() < FramelessWindowAgent::resizeBorder);
        QVERIFY(click(maximize->mapToGlobal(QPoint(maximize->width() / 2, 2))));
        QVERIFY2(settles(true, QRect(QPoint(0, 0), screenSize)), qPrintable(describe()));
        const QPoint from = bar->mapToGlobal(QPoint(bar->width() * 6 / 10, bar->height() / 2));
        const QPoint to = from + QPoint(-150, 200);
        QVERIFY2(drag(from, to,
                      [&](const QRect &now) {
                          return now.size() == normal && now.contains(to) &&
                                 qAbs(to.x() - now.x() - normal.width() * 6 / 10) <=
                                     firstStep.manhattanLength();
                      }),
                 qPrintable(describe()));
        QVERIFY(!window->isMaximized());
    }

    // The last test: it takes the window manager away. The window then maximises itself to the
    // screen, and the state it saves opens the next window as it was left.
    void withoutAWindowManagerTheWindowMaximizesItself()
    {
        const QRect normal = window->geometry();
        const QRect screen(QPoint(0, 0), screenSize);
        QVERIFY(session.stopWindowManager());
        bar->findChild<QAbstractButton *>("rushletMaximize")->click();
        QVERIFY2(settles(true, screen), qPrintable(describe()));
        const QByteArray saved = window->saveGeometry();
        window.reset();

        window = std::make_unique<QMainWindow>();
        auto *frame = new WindowFrame(window.get());
        frame->installTitleBar(window->menuBar());
        bar = frame->titleBar();
        window->restoreGeometry(saved);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        QVERIFY2(settles(true, screen), qPrintable(describe()));
        bar->findChild<QAbstractButton *>("rushletMaximize")->click();
        QVERIFY2(settles(false, normal), qPrintable(describe()));
    }

private:
    // Where the X server has the window: the window itself hears of a move by the window manager
    // only once the drag ends.
    QRect serverGeometry() const
    {
        QByteArray out;
        int x = 0, y = 0, width = 0, height = 0;
        if (!session.run("xdotool", {"getwindowgeometry", "--shell", QString::number(window->winId())},
                         &out) ||
            std::sscanf(out.constData(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &width,
                        &height) != 4)
            return {};
        return {x, y, width, height};
    }

    // True once the window, and the X server too, have it in that state at that place.
    bool settles(bool maximized, const QRect &geometry) const
    {
        return QTest::qWaitFor(
            [&] {
                return window->isMaximized() == maximized && window->geometry() == geometry &&
                       serverGeometry() == geometry;
            },
            waitLimitMs);
    }

    QString describe() const
    {
        QString text;
        QDebug(&text) << window->windowState() << window->geometry() << "on the server" << serverGeometry();
        return text;
    }

    bool xdotool(const QStringList &arguments) const { return session.run("xdotool", arguments); }

    bool moveTo(const QPoint &point) const
    {
        return xdotool({"mousemove", "--sync", QString::number(point.x()), QString::number(point.y())});
    }

    // What this program's windows heard of the pointer last, from the X server.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove) &&
            event->spontaneous() && qobject_cast<QWindow *>(watched))
            heard = {event->type(), static_cast<QMouseEvent *>(event)->globalPosition().toPoint()};
        return false;
    }

    bool heardOf(QEvent::Type type, const QPoint &at, int timeoutMs = waitLimitMs)
    {
        return QTest::qWaitFor([&] { return heard == std::pair(type, at); }, timeoutMs);
    }

    // Puts the pointer at `point` once this program hears it there, which proves that the X server
    // has our window mapped and on top there; until then the pointer is moved off and back.
    bool hover(const QPoint &point)
    {
        return QTest::qWaitFor(
            [&] {
                return moveTo(point + QPoint(1, 0)) && moveTo(point) &&
                       heardOf(QEvent::MouseMove, point, 1000);
            },
            waitLimitMs);
    }

    bool click(const QPoint &point, int count = 1)
    {
        return hover(point) && xdotool({"click", "--repeat", QString::number(count), "--delay", "80", "1"});
    }

    // Presses at `from`, drags to `to` and releases there; true when the window `follows` (given
    // its geometry) during the drag and has that geometry after it. This program hands the drag
    // to the window manager on the press (resize) or on the first motion (move), with the pointer
    // where it is then, so each step waits until the window heard of the one before. The window
    // manager may take over a moment after that, and only motion after that reaches it, so the
    // pointer is nudged at `to` until the window follows: releasing earlier would end the drag.
    bool drag(const QPoint &from, const QPoint &to, const std::function<bool(const QRect &)> &follows)
    {
        const QRect start = window->geometry();
        QRect now;
        bool nudged = false;
        const auto nudge = [&] {
            nudged = !nudged;
            return moveTo(nudged ? to + QPoint(0, 1) : to) && !nudged &&
                   QTest::qWaitFor([&] { return follows(now = serverGeometry()); }, 1000);
        };
        const bool followed =
            hover(from) && xdotool({"mousedown", "1"}) && heardOf(QEvent::MouseButtonPress, from) &&
            moveTo(from + firstStep) &&
            QTest::qWaitFor([&] { return heard.second == from + firstStep || serverGeometry() != start; },
                            waitLimitMs) &&
            QTest::qWaitFor(nudge, waitLimitMs);
        return xdotool({"mouseup", "1"}) && followed && settles(false, now);
    }

    DesktopSession &session;
    std::unique_ptr<QMainWindow> window;
    QWidget *bar = nullptr;
    std::pair<QEvent::Type, QPoint> heard;
};

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    if (!environment.isValid())
        return 1;
    environment.applyToCurrentProcess();
    DesktopSession session;
    QString error;
    if (!session.start(environment.processEnvironment(), screenSize, &error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    qputenv("DISPLAY", session.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    // The close button closes the only window; the test goes on after it.
    QApplication::setQuitOnLastWindowClosed(false);
    // The clicks of a double-click come from another program, which a busy machine may hold up.
    QGuiApplication::styleHints()->setMouseDoubleClickInterval(2000);
    TestWindowFrameDesktop test(session);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WindowFrameDesktop.moc"
