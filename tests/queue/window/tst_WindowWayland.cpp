// The main window on Qt's Wayland platform, under weston nested in a private X display (Xvfb, no
// window manager), with the pointer driven there by xdotool: input reaches the window through the
// compositor, so moving and maximising take the compositor's own ways. Wayland tells a
// window nothing of where it is, so where the compositor put it is read from the pointer: the
// window reports where in it the pointer is.

#include "engine/DownloadMetaTypes.h"
#include "queue/window/MainWindow.h"
#include "queue/window/WindowActions.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/WaylandSession.h"
#include "ui/ModalDialogs.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QMouseEvent>
#include <QTest>
#include <QWindow>

#include <memory>
#include <optional>

namespace {

constexpr int waitLimitMs = 30000;
const QSize outputSize(1280, 800);
// Small enough that wherever the compositor places it, the window covers the output's centre.
const QSize windowSize(900, 600);
const QPoint outputCentre(640, 400);
// Past the distance at which a drag begins.
const QPoint firstStep(12, 8);

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
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
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
        QVERIFY(window->menuWidget()->isVisible());
    }

    void cleanupTestCase() { window.reset(); }

    // Dragged by its title bar, the window moves: the compositor does it, since a Wayland window
    // cannot place itself.
    void dragMovesTheWindow()
    {
        const std::optional<QPoint> before = origin();
        QVERIFY(before);
        const QPoint from = *before + QPoint(window->width() / 2, 22);
        const QPoint by(-150, 120);
        QVERIFY(drag(from, from + by));
        const std::optional<QPoint> after = origin();
        QVERIFY(after);
        const QPoint moved = *after - *before;
        // The compositor takes the drag over a moment after it began; what moved before is lost.
        QVERIFY2(qAbs(moved.x() - by.x()) <= 40 && qAbs(moved.y() - by.y()) <= 40,
                 qPrintable(QStringLiteral("moved by %1,%2").arg(moved.x()).arg(moved.y())));
        QCOMPARE(window->size(), windowSize);
    }

    // The caption button maximises the window to what the compositor offers, and restores it.
    void maximizeButtonMaximizesAndRestores()
    {
        const auto button = [this] {
            auto *widget = window->menuWidget()->findChild<QWidget *>(QStringLiteral("rushletMaximize"));
            return widget->mapTo(window.get(), widget->rect().center());
        };
        const QSize normal = window->size();
        std::optional<QPoint> at = origin();
        QVERIFY(at);
        QVERIFY(click(*at + button()));
        QTRY_VERIFY_WITH_TIMEOUT(window->isMaximized() && window->width() == outputSize.width(), waitLimitMs);
        at = origin();
        QVERIFY(at);
        QCOMPARE(at->x(), 0);
        QVERIFY(click(*at + button()));
        QTRY_VERIFY2_WITH_TIMEOUT(
            !window->isMaximized() && window->size() == normal,
            qPrintable(QStringLiteral("%1x%2").arg(window->width()).arg(window->height())), waitLimitMs);
    }

    // Dialogs belong to the window, so the compositor puts them over it: the window's own and the
    // confirmation of a download from the browser, which has no parent widget.
    void dialogsOpenOverTheWindow()
    {
        QStringList over;
        const auto note = [&](QDialog &dialog) {
            if (QTest::qWaitForWindowExposed(&dialog, waitLimitMs) &&
                dialog.windowHandle()->transientParent() == window->windowHandle())
                over << dialog.objectName();
            return int(QDialog::Rejected);
        };
        ModalDialogs::answerNext(note);
        window->windowActions()->addUrl->trigger();
        ModalDialogs::answerNext(note);
        const QJsonObject request{{QStringLiteral("type"), QStringLiteral("download")},
                                  {QStringLiteral("url"), QStringLiteral("http://127.0.0.1:9/file.iso")},
                                  {QStringLiteral("id"), QStringLiteral("browser-1")},
                                  {QStringLiteral("filename"), QStringLiteral("file.iso")}};
        QVERIFY(window->handleBridgeRequest(request).value(QStringLiteral("ok")).toBool());
        QTRY_COMPARE_WITH_TIMEOUT(ModalDialogs::pendingAnswers(), 0, waitLimitMs);
        QCOMPARE(over,
                 QStringList({QStringLiteral("addDownloadDialog"), QStringLiteral("addDownloadDialog")}));
    }

private:
    bool xdotool(const QStringList &arguments) const
    {
        return session.run(QStringLiteral("xdotool"), arguments);
    }

    bool moveTo(const QPoint &point) const
    {
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(point.x()),
                        QString::number(point.y())});
    }

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

    // The pointer moved to `point` (on the output), and where in the window it was heard.
    std::optional<QPoint> motionAt(const QPoint &point)
    {
        heard = {};
        if (!moveTo(point) || !QTest::qWaitFor([&] { return heard.first == QEvent::MouseMove; }, 1000))
            return std::nullopt;
        return heard.second;
    }

    // Puts the pointer at `point` once the window hears it there, moving it off by a pixel first so
    // that the window hears a motion wherever the pointer was.
    std::optional<QPoint> hear(const QPoint &point)
    {
        std::optional<QPoint> local;
        if (!QTest::qWaitFor(
                [&] {
                    motionAt(point + QPoint(1, 1));
                    return (local = motionAt(point)).has_value();
                },
                waitLimitMs))
            return std::nullopt;
        return local;
    }

    // Where the window's top-left corner lies on the output.
    std::optional<QPoint> origin()
    {
        const std::optional<QPoint> local = hear(outputCentre);
        if (!local)
            return std::nullopt;
        return outputCentre - *local;
    }

    bool click(const QPoint &point)
    {
        return hear(point) && xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

    // Presses at `from`, moves to `to` and releases there. The window hands the drag to the
    // compositor on the first motion; the compositor then takes the pointer away from the window,
    // which hears it leave, and only the motion after that moves the window.
    bool drag(const QPoint &from, const QPoint &to)
    {
        heard = {};
        const bool taken =
            hear(from) && xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}) &&
            QTest::qWaitFor([&] { return heard.first == QEvent::MouseButtonPress; }, waitLimitMs) &&
            moveTo(from + firstStep) &&
            QTest::qWaitFor([&] { return heard.first == QEvent::Leave; }, waitLimitMs);
        const bool moved = taken && moveTo(to);
        return xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}) && moved;
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
