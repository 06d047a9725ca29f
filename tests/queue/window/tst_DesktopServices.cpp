// The window as a citizen of the desktop: on a private bus (session and system alike) with
// stand-ins for the notification service, the file manager, logind's sleep lock and the portal.
// Downloads run on no engine; the test reports their states as engines would.

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "queue/list/DownloadList.h"
#include "queue/window/DownloadTable.h"
#include "queue/window/MainWindow.h"
#include "queue/window/WindowActions.h"
#include "tests/support/DesktopStandIns.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int waitLimitMs = 30000;
const QString notificationService = QStringLiteral("org.freedesktop.Notifications");
const QString notificationPath = QStringLiteral("/org/freedesktop/Notifications");
const QString loginService = QStringLiteral("org.freedesktop.login1");
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");

} // namespace

class TestDesktopServices : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    // The desktop's services are other programs: they get a connection of their own.
    QDBusConnection desktop{QString()};
    StandInNotifications notifications;
    StandInFileManager fileManager;
    StandInLogin login;
    std::unique_ptr<StandInPortal> portal;
    std::unique_ptr<MainWindow> window;

    // A download the window lists, its file in the scratch folder.
    DownloadSnapshot add(const QString &id)
    {
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/") + id);
        snapshot.destination = environment.scratch() + QLatin1Char('/') + id + QStringLiteral(".bin");
        [&] { QVERIFY(window->downloads()->addDownload(snapshot)); }();
        return snapshot;
    }

    // What an engine would report for the download.
    void report(DownloadSnapshot &snapshot, const QString &status, const QString &error = {})
    {
        snapshot.status = status;
        snapshot.error = error;
        snapshot.total = 1000;
        snapshot.received = status == DownloadStatus::Completed ? 1000 : 400;
        window->downloads()->onEngineUpdated(snapshot);
    }

    // One more round trip to the desktop's side, after the window has had its refresh: answers come
    // in order, so whatever the window sent before has arrived by then.
    void settle()
    {
        QCoreApplication::processEvents();
        QDBusMessage ping = QDBusMessage::createMethodCall(notificationService, notificationPath,
                                                           QStringLiteral("org.freedesktop.DBus.Peer"),
                                                           QStringLiteral("Ping"));
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
        QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
        QVERIFY(answered.wait(waitLimitMs));
    }

    void invoke(uint notice, const QString &action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(notificationPath, notificationService,
                                                         QStringLiteral("ActionInvoked"));
        signal << notice << action;
        QVERIFY(desktop.send(signal));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the private bus is not reachable");
        desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
        portal = std::make_unique<StandInPortal>(desktop.name());
        QVERIFY(desktop.registerObject(notificationPath, &notifications, QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService(notificationService));
        QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/login1"), &login,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService(loginService));
        QVERIFY(desktop.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), portal.get(),
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(desktop.registerService(portalService));
    }

    void init()
    {
        window =
            std::make_unique<MainWindow>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
    }

    void cleanup() { window.reset(); }

    // A download that completes or fails while the window is elsewhere gets one notice, with the
    // file's commands; the same download ending again replaces its notice.
    void aDownloadThatEndsIsNotifiedOnce()
    {
        DownloadSnapshot done = add(QStringLiteral("done"));
        DownloadSnapshot failed = add(QStringLiteral("failed"));
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Completed);
        report(done, DownloadStatus::Completed);
        report(failed, DownloadStatus::Retrying, QStringLiteral("Connection refused"));
        report(failed, DownloadStatus::Error, QStringLiteral("The server closed the connection."));
        QTRY_COMPARE_WITH_TIMEOUT(notifications.notices.size(), 2, waitLimitMs);
        settle();
        QCOMPARE(notifications.notices.size(), 2);

        const StandInNotifications::Notice completed = notifications.notices.at(0);
        QCOMPARE(completed.app, QStringLiteral("Rushlet"));
        QCOMPARE(completed.replaces, 0u);
        QCOMPARE(completed.icon, QStringLiteral("com.rushlet.Rushlet"));
        QCOMPARE(completed.summary, QStringLiteral("done.bin"));
        QCOMPARE(completed.body, QStringLiteral("1000 B"));
        QCOMPARE(completed.actions, QStringList({QStringLiteral("default"), QString(), QStringLiteral("open"),
                                                 QStringLiteral("Open"), QStringLiteral("folder"),
                                                 QStringLiteral("Show in folder")}));
        QCOMPARE(completed.hints.value(QStringLiteral("category")).toString(),
                 QStringLiteral("transfer.complete"));
        QCOMPARE(completed.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("com.rushlet.Rushlet"));
        const StandInNotifications::Notice error = notifications.notices.at(1);
        QCOMPARE(error.summary, QStringLiteral("failed.bin"));
        QCOMPARE(error.body, QStringLiteral("The server closed the connection."));
        QCOMPARE(error.actions, QStringList({QStringLiteral("default"), QString(), QStringLiteral("show"),
                                             QStringLiteral("Show")}));
        QCOMPARE(error.hints.value(QStringLiteral("category")).toString(), QStringLiteral("transfer.error"));

        // Started again and failed: the same notice, replaced.
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Error, QStringLiteral("HTTP 404"));
        QTRY_COMPARE_WITH_TIMEOUT(notifications.notices.size(), 3, waitLimitMs);
        QCOMPARE(notifications.notices.at(2).replaces, completed.id);

        // Turned off in the View menu, or with the window in front, nothing shows.
        window->windowActions()->notifyWhenFinished->trigger();
        report(failed, DownloadStatus::Downloading);
        report(failed, DownloadStatus::Completed);
        window->windowActions()->notifyWhenFinished->trigger();
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(window->isActiveWindow());
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Completed);
        settle();
        QCOMPARE(notifications.notices.size(), 3);
    }

    // The notice's commands are the context menu's: its folder shown in the file manager, the
    // failed download selected in the window brought up.
    void aNoticesActionsRunTheDownloadsCommands()
    {
        notifications.notices.clear();
        DownloadSnapshot done = add(QStringLiteral("done"));
        DownloadSnapshot failed = add(QStringLiteral("failed"));
        QVERIFY(TestEnvironment::writeFile(done.destination, "content"));
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Completed);
        report(failed, DownloadStatus::Downloading);
        report(failed, DownloadStatus::Error, QStringLiteral("HTTP 500"));
        QTRY_COMPARE_WITH_TIMEOUT(notifications.notices.size(), 2, waitLimitMs);

        invoke(notifications.notices.at(0).id, QStringLiteral("folder"));
        QTRY_COMPARE_WITH_TIMEOUT(
            fileManager.shown,
            QStringList{QUrl::fromLocalFile(done.destination).toString(QUrl::FullyEncoded)}, waitLimitMs);
        QVERIFY(!window->isVisible());
        invoke(notifications.notices.at(1).id, QStringLiteral("show"));
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), waitLimitMs);
        QCOMPARE(window->selectedId(), failed.id);
    }

    // The machine may not suspend while a download runs, and may again as soon as none does.
    void sleepIsHeldOffExactlyWhileADownloadRuns()
    {
        DownloadSnapshot first = add(QStringLiteral("first"));
        DownloadSnapshot second = add(QStringLiteral("second"));
        window->refreshView();
        settle();
        QCOMPARE(login.requests.size(), 0);

        report(first, DownloadStatus::Connecting);
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 1, waitLimitMs);
        QCOMPARE(login.requests, QStringList{QStringLiteral("sleep,Rushlet,Downloading files,block")});
        report(first, DownloadStatus::Downloading);
        report(second, DownloadStatus::Downloading);
        report(first, DownloadStatus::Paused);
        settle();
        QCOMPARE(login.held(), 1);
        QCOMPARE(login.requests.size(), 1);
        report(second, DownloadStatus::Completed);
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 0, waitLimitMs);

        report(first, DownloadStatus::Retrying);
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 1, waitLimitMs);
        report(first, DownloadStatus::Error, QStringLiteral("Connection refused"));
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 0, waitLimitMs);

        // Quitting lets go of what a running download holds.
        report(first, DownloadStatus::Downloading);
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 1, waitLimitMs);
        window->shutdown();
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 0, waitLimitMs);
        QCOMPARE(login.requests.size(), 3);
    }

    // Where logind does not answer, the desktop portal holds the machine awake; where nothing
    // answers at all, notices and locks are simply not had.
    void withoutTheServicesNothingShowsOrWaits()
    {
        QVERIFY(desktop.unregisterService(loginService));
        DownloadSnapshot running = add(QStringLiteral("running"));
        report(running, DownloadStatus::Downloading);
        QTRY_COMPARE_WITH_TIMEOUT(portal->held(), 1, waitLimitMs);
        QCOMPARE(portal->requests, QList<uint>{4});
        report(running, DownloadStatus::Paused);
        QTRY_COMPARE_WITH_TIMEOUT(portal->held(), 0, waitLimitMs);

        QVERIFY(desktop.unregisterService(portalService));
        QVERIFY(desktop.unregisterService(notificationService));
        notifications.notices.clear();
        report(running, DownloadStatus::Downloading);
        report(running, DownloadStatus::Completed);
        window->refreshView();
        QCOMPARE(window->downloads()->entry(running.id)->snapshot.status, DownloadStatus::Completed);
        QVERIFY(notifications.notices.isEmpty());
        QVERIFY(desktop.registerService(notificationService));
        QVERIFY(desktop.registerService(portalService));
        QVERIFY(desktop.registerService(loginService));
    }
};

int main(int argc, char *argv[])
{
    // Before the application exists: nothing may reach for the user's buses first. logind lives
    // on the system bus, played here by the same private bus.
    SessionBus bus;
    const bool busStarted = bus.start() && qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
    QApplication app(argc, argv);
    if (!busStarted) {
        qCritical("A private bus could not be started (dbus-daemon).");
        return 1;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    TestDesktopServices test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_DesktopServices.moc"
