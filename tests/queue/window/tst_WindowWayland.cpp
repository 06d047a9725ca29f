// The main window on Qt's Wayland platform, under weston nested in a private X display (Xvfb, no
// window manager), the pointer driven there by xdotool: input reaches the window through the
// compositor, so moving and maximising take the compositor's own ways. Wayland tells a window
// nothing of where it is, so where the compositor put it is read from the pointer.

#include "engine/DownloadMetaTypes.h"
#include "queue/window/MainWindow.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WaylandSession.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

constexpr int waitLimitMs = 30000;
const QSize outputSize(1280, 800);
// Small enough that wherever the compositor places it, the window covers the output's centre.
const QSize windowSize(900, 600);
const QPoint outputCentre(640, 400);

} // namespace

class TestWindowWayland : public QObject
{
    Q_OBJECT

public:
    explicit TestWindowWayland(const DesktopSession &session)
        : session(session)
    {
        qApp->installEventFilter(this);
    }

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        QCOMPARE(QGuiApplication::platformName(), "wayland");
        window =
            std::make_unique<MainWindow>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
        window->resize(windowSize);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
        // The compositor follows the pointer once it has entered the compositor's own window, which
        // fills the display but for a margin.
        QVERIFY(moveTo(QPoint(outputSize.width(), outputSize.height()) + QPoint(20, 20)));
        QVERIFY(moveTo(outputCentre));
    }

    void cleanupTestCase() { window.reset(); }

    // Dragged by its title bar the window moves, and its caption button maximises it to what the
    // compositor offers and restores it: the compositor does both, since a Wayland window cannot
    // place itself.
    void dragMovesAndTheButtonMaximizes()
    {
        // Where the window's top-left corner lies on the output.
        QVERIFY(hear(outputCentre));
        const QPoint before = outputCentre - heard.second;
        const QPoint from = before + QPoint(window->width() / 2, 22);
        const QPoint by(-150, 120);
        QVERIFY(drag(from, from + by));
        QVERIFY(hear(outputCentre));
        QPoint after = outputCentre - heard.second;
        // The compositor takes the drag over a moment after it began; what moved before is lost.
        const QPoint moved = after - before;
        QVERIFY2(qAbs(moved.x() - by.x()) <= 40 && qAbs(moved.y() - by.y()) <= 40,
                 qPrintable(QString("moved by %1,%2").arg(moved.x()).arg(moved.y())));
        QCOMPARE(window->size(), windowSize);

        auto *button = window->menuWidget()->findChild<QWidget *>("rushletMaximize");
        QVERIFY(click(after + button->mapTo(window.get(), button->rect().center())));
        QTRY_VERIFY_WITH_TIMEOUT(window->isMaximized() && window->width() == outputSize.width(), waitLimitMs);
        QVERIFY(hear(outputCentre));
        after = outputCentre - heard.second;
        QCOMPARE(after.x(), 0);
        QVERIFY(click(after + button->mapTo(window.get(), button->rect().center())));
        QTRY_VERIFY2_WITH_TIMEOUT(!window->isMaximized() && window->size() == windowSize,
                                  qPrintable(QString("%1x%2").arg(window->width()).arg(window->height())),
                                  waitLimitMs);
    }

private:
    bool xdotool(const QStringList &arguments) const { return session.run("xdotool", arguments); }

    bool moveTo(const QPoint &point) const
    {
        return xdotool({"mousemove", "--sync", QString::number(point.x()), QString::number(point.y())});
    }

    // What the window heard of the pointer last, and where in the window.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!window || watched != window->windowHandle() || !event->spontaneous())
            return false;
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonPress)
            heard = {event->type(), static_cast<QMouseEvent *>(event)->position().toPoint()};
        else if (event->type() == QEvent::Leave)
            heard = {event->type(), {}};
        return false;
    }

    bool heardOf(QEvent::Type type, int timeoutMs = waitLimitMs)
    {
        return QTest::qWaitFor([&] { return heard.first == type; }, timeoutMs);
    }

    // Puts the pointer at `point` (on the output) once the window hears it there, and leaves where
    // in the window that is in `heard`; the pointer is moved off by a pixel first, so that the
    // window hears a motion wherever the pointer was.
    bool hear(const QPoint &point)
    {
        const auto motionAt = [this](const QPoint &at) {
            heard = {};
            return moveTo(at) && heardOf(QEvent::MouseMove, 1000);
        };
        return QTest::qWaitFor([&] { return (motionAt(point + QPoint(1, 1)), motionAt(point)); },
                               waitLimitMs);
    }

    bool click(const QPoint &point) { return hear(point) && xdotool({"click", "1"}); }

    // Presses at `from`, moves past the distance at which a drag begins, then to `to`, and releases
    // there. The window hands the drag to the compositor on the first motion; the compositor then
    // takes the pointer away from the window, which hears it leave, and only the motion after that
    // moves the window.
    bool drag(const QPoint &from, const QPoint &to)
    {
        const bool moved = hear(from) && xdotool({"mousedown", "1"}) && heardOf(QEvent::MouseButtonPress) &&
                           moveTo(from + QPoint(12, 8)) && heardOf(QEvent::Leave) && moveTo(to);
        return xdotool({"mouseup", "1"}) && moved;
    }

    const DesktopSession &session;
    std::unique_ptr<MainWindow> window;
    std::pair<QEvent::Type, QPoint> heard;
};

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    if (!environment.isValid())
        return 1;
    environment.applyToCurrentProcess();
    DesktopSession session;
    WaylandSession compositor;
    QString error;
    if (!session.start(environment.processEnvironment(), outputSize + QSize(40, 40), &error, false) ||
        !compositor.start(environment.processEnvironment(), session.display(), outputSize, &error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    qputenv("WAYLAND_DISPLAY", compositor.socketName().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "wayland");
    qunsetenv("DISPLAY");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TestWindowWayland test(session);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WindowWayland.moc"
