// The window as a citizen of the desktop, on a private bus (session and system alike) with
// stand-ins for the notification service, the file manager and logind's sleep lock. Downloads run
// on no engine; the test reports their states as engines would.

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "queue/list/DownloadList.h"
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
const QString notifications = QStringLiteral("org.freedesktop.Notifications");
const QString notificationPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

class TestDesktopServices : public QObject
{
    Q_OBJECT

private:
    TestEnvironment environment;
    // The desktop's services are other programs: they get a connection of their own.
    QDBusConnection desktop{QString()};
    StandInNotifications notifier;
    StandInFileManager fileManager;
    StandInLogin login;
    std::unique_ptr<MainWindow> window;

    // A download of the window's list in the state an engine reports; its file in the scratch
    // folder.
    void report(const QString &id, const QString &status, const QString &error = {})
    {
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/") + id);
        snapshot.destination = environment.scratch() + QLatin1Char('/') + id + QStringLiteral(".bin");
        snapshot.status = status;
        snapshot.error = error;
        snapshot.total = 1000;
        snapshot.received = status == DownloadStatus::Completed ? 1000 : 400;
        if (!window->downloads()->contains(id))
            QVERIFY(window->downloads()->addDownload(snapshot));
        window->downloads()->onEngineUpdated(snapshot);
    }

    // One more round trip to the desktop's side after the window's refresh: answers come in
    // order, so whatever the window sent before has arrived by then.
    void settle()
    {
        QCoreApplication::processEvents();
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(notifications, notificationPath,
                                           QStringLiteral("org.freedesktop.DBus.Peer"),
                                           QStringLiteral("Ping"))));
        QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
        QVERIFY(answered.wait(waitLimitMs));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
        const std::pair<QString, QObject *> services[] = {
            {notifications, &notifier},
            {QStringLiteral("org.freedesktop.FileManager1"), &fileManager},
            {QStringLiteral("org.freedesktop.login1"), &login}};
        for (const auto &[name, object] : services) {
            QVERIFY(desktop.registerObject(QLatin1Char('/') +
                                               QString(name).replace(QLatin1Char('.'), QLatin1Char('/')),
                                           object, QDBusConnection::ExportAllSlots));
            QVERIFY(desktop.registerService(name));
        }
    }

    void init()
    {
        window =
            std::make_unique<MainWindow>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
    }

    void cleanup() { window.reset(); }

    // A download that completes or fails while the window is elsewhere gets one notice, with the
    // file's commands on it, replaced when the same download ends again; the commands are the
    // context menu's. Turned off, or with the window in front, nothing shows.
    void aDownloadThatEndsIsNotifiedOnce()
    {
        QVERIFY(TestEnvironment::writeFile(environment.scratch() + QStringLiteral("/done.bin"), "content"));
        report(QStringLiteral("done"), DownloadStatus::Downloading);
        report(QStringLiteral("done"), DownloadStatus::Completed);
        report(QStringLiteral("done"), DownloadStatus::Completed);
        report(QStringLiteral("failed"), DownloadStatus::Retrying, QStringLiteral("Connection refused"));
        report(QStringLiteral("failed"), DownloadStatus::Error, QStringLiteral("HTTP 500"));
        QTRY_COMPARE_WITH_TIMEOUT(notifier.notices.size(), 2, waitLimitMs);
        settle();
        QCOMPARE(notifier.notices.size(), 2);
        QCOMPARE(notifier.notices.at(0).text,
                 QStringLiteral(
                     "Rushlet|com.rushlet.Rushlet|done.bin|1000 B|transfer.complete|com.rushlet.Rushlet|"
                     "default,,open,Open,folder,Show in folder"));
        QCOMPARE(notifier.notices.at(1).text,
                 QStringLiteral(
                     "Rushlet|com.rushlet.Rushlet|failed.bin|HTTP 500|transfer.error|com.rushlet.Rushlet|"
                     "default,,show,Show"));

        const auto invoke = [this](int notice, const QString &action) {
            QDBusMessage signal =
                QDBusMessage::createSignal(notificationPath, notifications, QStringLiteral("ActionInvoked"));
            signal << notifier.notices.at(notice).id << action;
            QVERIFY(desktop.send(signal));
        };
        invoke(0, QStringLiteral("folder"));
        QTRY_COMPARE_WITH_TIMEOUT(
            fileManager.shown,
            QStringList{QUrl::fromLocalFile(environment.scratch() + QStringLiteral("/done.bin")).toString()},
            waitLimitMs);
        QVERIFY(!window->isVisible());
        invoke(1, QStringLiteral("show"));
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), waitLimitMs);
        QCOMPARE(window->selectedId(), QStringLiteral("failed"));

        window->hide();
        report(QStringLiteral("done"), DownloadStatus::Downloading);
        report(QStringLiteral("done"), DownloadStatus::Error, QStringLiteral("HTTP 404"));
        QTRY_COMPARE_WITH_TIMEOUT(notifier.notices.size(), 3, waitLimitMs);
        QCOMPARE(notifier.notices.at(2).replaces, notifier.notices.at(0).id);

        window->windowActions()->notifyWhenFinished->trigger();
        report(QStringLiteral("failed"), DownloadStatus::Downloading);
        report(QStringLiteral("failed"), DownloadStatus::Completed);
        window->windowActions()->notifyWhenFinished->trigger();
        window->show();
        QApplication::setActiveWindow(window.get());
        report(QStringLiteral("done"), DownloadStatus::Downloading);
        report(QStringLiteral("done"), DownloadStatus::Completed);
        settle();
        QCOMPARE(notifier.notices.size(), 3);

        // Without a notification service nothing shows and nothing waits.
        QVERIFY(desktop.unregisterService(notifications));
        window->hide();
        report(QStringLiteral("failed"), DownloadStatus::Downloading);
        report(QStringLiteral("failed"), DownloadStatus::Error, QStringLiteral("HTTP 500"));
        window->refreshView();
        QVERIFY(desktop.registerService(notifications));
        QCOMPARE(notifier.notices.size(), 3);
    }

    // The machine may not suspend while a download runs, and may again as soon as none does:
    // paused, finished and failed downloads hold nothing, and neither does a program that quits.
    void sleepIsHeldOffExactlyWhileADownloadRuns()
    {
        const auto held = [this](int count) {
            return QTest::qWaitFor([&] { return login.held() == count; });
        };
        window->refreshView();
        settle();
        QCOMPARE(login.requests.size(), 0);
        report(QStringLiteral("first"), DownloadStatus::Connecting);
        QVERIFY(held(1));
        QCOMPARE(login.requests, QStringList{QStringLiteral("sleep,Rushlet,Downloading files,block")});
        report(QStringLiteral("first"), DownloadStatus::Downloading);
        report(QStringLiteral("second"), DownloadStatus::Downloading);
        report(QStringLiteral("first"), DownloadStatus::Paused);
        settle();
        QCOMPARE(login.held(), 1);
        report(QStringLiteral("second"), DownloadStatus::Completed);
        QVERIFY(held(0));
        report(QStringLiteral("first"), DownloadStatus::Retrying);
        QVERIFY(held(1));
        report(QStringLiteral("first"), DownloadStatus::Error, QStringLiteral("Connection refused"));
        QVERIFY(held(0));
        report(QStringLiteral("first"), DownloadStatus::Downloading);
        QVERIFY(held(1));
        window->shutdown();
        QVERIFY(held(0));
        QCOMPARE(login.requests.size(), 3);
    }
};

int main(int argc, char *argv[])
{
    // Before the application exists: nothing may reach for the user's buses first. logind lives on
    // the system bus, played here by the same private bus.
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
