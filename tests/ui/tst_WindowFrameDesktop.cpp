// The frameless main window under a real window manager: Xvfb and openbox, driven by xdotool.
// The test program is itself the window's program, on the xcb platform of the private display.

#include "tests/support/DesktopSession.h"
#include "tests/support/TestEnvironment.h"
#include "ui/PopupMenu.h"
#include "ui/WindowFrame.h"
#include "ui/WindowMenu.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStyleHints>
#include <QTest>
#include <QWindow>

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
    explicit TestWindowFrameDesktop(const DesktopSession &session)
        : session(session)
    {
    }

private slots:
    void init()
    {
        window = std::make_unique<QMainWindow>();
        auto *frame = new WindowFrame(window.get());
        auto *file = new PopupMenu(QStringLiteral("&File"), window->menuBar());
        file->addAction(QStringLiteral("E&xit"));
        window->menuBar()->addMenu(file);
        frame->installTitleBar(window->menuBar());
        bar = frame->titleBar();
        window->setCentralWidget(new QPlainTextEdit(window.get()));
        window->setGeometry(200, 150, 640, 420);
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get(), waitLimitMs));
        QTRY_COMPARE_WITH_TIMEOUT(window->size(), QSize(640, 420), waitLimitMs);
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
        QVERIFY(!window->isMaximized());

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
            auto *widget = bar->findChild<QWidget *>(QLatin1String(name));
            return widget->mapToGlobal(widget->rect().center());
        };
        const auto isMaximized = [&] { return window->isMaximized() && window->geometry() == screen; };
        const auto isNormal = [&] { return !window->isMaximized() && window->geometry() == normal; };

        QVERIFY(doubleClick(empty()));
        QVERIFY2(QTest::qWaitFor(isMaximized, waitLimitMs), qPrintable(describe()));
        QVERIFY(doubleClick(empty()));
        QVERIFY2(QTest::qWaitFor(isNormal, waitLimitMs), qPrintable(describe()));

        QVERIFY(click(button("rushletMaximize")));
        QVERIFY2(QTest::qWaitFor(isMaximized, waitLimitMs), qPrintable(describe()));
        // The menu of the icon offers what would change the window's state.
        QVERIFY(click(button("rushletSystemMenu")));
        auto *menu = window->findChild<WindowMenu *>();
        QVERIFY(menu);
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), waitLimitMs);
        QVERIFY(menu->restoreAction()->isEnabled());
        QVERIFY(!menu->maximizeAction()->isEnabled());
        QVERIFY(click(menu->mapToGlobal(menu->actionGeometry(menu->restoreAction()).center())));
        QVERIFY2(QTest::qWaitFor(isNormal, waitLimitMs), qPrintable(describe()));

        QVERIFY(click(button("rushletMinimize")));
        QTRY_VERIFY_WITH_TIMEOUT(window->isMinimized(), waitLimitMs);
        window->showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        QVERIFY2(QTest::qWaitFor(isNormal, waitLimitMs), qPrintable(describe()));

        QVERIFY(click(button("rushletClose")));
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), waitLimitMs);
    }

private:
    QString describe() const
    {
        const QRect g = window->geometry();
        return QStringLiteral("state %1, geometry %2,%3 %4x%5")
            .arg(int(window->windowState()))
            .arg(g.x())
            .arg(g.y())
            .arg(g.width())
            .arg(g.height());
    }

    bool xdotool(const QStringList &arguments) { return session.run(QStringLiteral("xdotool"), arguments); }

    bool moveTo(const QPoint &point)
    {
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(point.x()),
                        QString::number(point.y())});
    }

    bool click(const QPoint &point)
    {
        return moveTo(point) && xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

    bool doubleClick(const QPoint &point)
    {
        return moveTo(point) &&
               xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                        QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
    }

    // What the window's native surface heard of the pointer last, before the frame's agent.
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove)
            heard = {event->type(), static_cast<QMouseEvent *>(event)->globalPosition().toPoint()};
        return false;
    }

    bool heardOf(QEvent::Type type, const QPoint &at)
    {
        return QTest::qWaitFor([&] { return heard == std::pair(type, at); }, waitLimitMs);
    }

    // Where the X server has the window: the window itself hears of a move by the window
    // manager only once the drag ends.
    QRect serverGeometry()
    {
        QByteArray output;
        if (!session.run(QStringLiteral("xdotool"),
                         {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                          QString::number(window->winId())},
                         &output))
            return {};
        QHash<QByteArray, int> values;
        for (const QByteArray &line : output.split('\n')) {
            const qsizetype equals = line.indexOf('=');
            values.insert(line.left(equals), line.mid(equals + 1).toInt());
        }
        return {values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT")};
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
        window->windowHandle()->installEventFilter(this);
        QRect now;
        bool nudged = false;
        const auto nudge = [&] {
            nudged = !nudged;
            return moveTo(nudged ? to + QPoint(0, 1) : to) && !nudged &&
                   QTest::qWaitFor([&] { return follows(now = serverGeometry()); }, 1000);
        };
        const bool followed =
            moveTo(from) && xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}) &&
            heardOf(QEvent::MouseButtonPress, from) && moveTo(from + firstStep) &&
            QTest::qWaitFor([&] { return heard.second == from + firstStep || serverGeometry() != start; },
                            waitLimitMs) &&
            QTest::qWaitFor(nudge, waitLimitMs);
        window->windowHandle()->removeEventFilter(this);
        return xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}) && followed &&
               QTest::qWaitFor([&] { return window->geometry() == now; }, waitLimitMs);
    }

    const DesktopSession &session;
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
    if (!session.start(environment.processEnvironment(), screenSize)) {
        qCritical("%s", qPrintable(session.error()));
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
