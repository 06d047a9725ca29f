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
#include <QDBusUnixFileDescriptor>
#include <QTest>

#include <algorithm>
#include <memory>
#include <poll.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr int waitLimitMs = 30000;
const QString notifications = "org.freedesktop.Notifications";
const QString notificationPath = "/org/freedesktop/Notifications";

} // namespace

// The notification service, recording each notice as one line: "replaced notice|app|icon|summary|
// body|category|desktop entry|action key,label,…". A new notice's id is its place in the list, from 1.
class StandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList notices;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int)
    {
        notices << QString("%1|%2|%3|%4|%5|%6|%7|%8")
                       .arg(QString::number(replaces), app, icon, summary, body, hints["category"].toString(),
                            hints["desktop-entry"].toString(), actions.join(','));
        return replaces != 0 ? replaces : uint(notices.size());
    }
};

// logind's sleep lock. Each lock is a pipe whose writing end goes to the caller: the lock is held
// while any copy of that end is open, and the reading end hangs up once none is.
class StandInLogin : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    // "what,who,why,mode" of every request, in order.
    QStringList requests;

    int held() const
    {
        return int(
            std::count_if(readingEnds.begin(), readingEnds.end(), [](const QDBusUnixFileDescriptor &end) {
                pollfd watched{end.fileDescriptor(), POLLIN, 0};
                return ::poll(&watched, 1, 0) == 0;
            }));
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode)
    {
        requests << QStringList{what, who, why, mode}.join(',');
        int ends[2];
        QDBusUnixFileDescriptor writing;
        if (::pipe(ends) == 0) {
            readingEnds.append(QDBusUnixFileDescriptor());
            readingEnds.last().giveFileDescriptor(ends[0]);
            writing.giveFileDescriptor(ends[1]);
        }
        return writing;
    }

private:
    QList<QDBusUnixFileDescriptor> readingEnds;
};

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
        snapshot.url = QUrl("http://127.0.0.1:9/" + id);
        snapshot.destination = environment.scratch() + '/' + id + ".bin";
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
        const QDBusMessage ping = QDBusMessage::createMethodCall(notifications, notificationPath,
                                                                 "org.freedesktop.DBus.Peer", "Ping");
        // The stand-ins answer on this thread: the wait has to run its events.
        QCOMPARE(QDBusConnection::sessionBus().call(ping, QDBus::BlockWithGui, waitLimitMs).type(),
                 QDBusMessage::ReplyMessage);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        desktop = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
        const std::pair<QString, QObject *> services[] = {{notifications, &notifier},
                                                          {"org.freedesktop.FileManager1", &fileManager},
                                                          {"org.freedesktop.login1", &login}};
        for (const auto &[name, object] : services) {
            QVERIFY(desktop.registerObject('/' + QString(name).replace('.', '/'), object,
                                           QDBusConnection::ExportAllSlots));
            QVERIFY(desktop.registerService(name));
        }
        window =
            std::make_unique<MainWindow>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
    }

    void cleanupTestCase() { window.reset(); }

    // A download that completes or fails while the window is elsewhere gets one notice, with the
    // file's commands on it, replaced when the same download ends again; the commands are the
    // context menu's. Turned off, with the window in front or with no service, nothing shows.
    void aDownloadThatEndsIsNotifiedOnce()
    {
        const QString done = "done";
        const QString failed = "failed";
        QVERIFY(TestEnvironment::writeFile(environment.scratch() + "/done.bin", "content"));
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Completed);
        report(done, DownloadStatus::Completed);
        report(failed, DownloadStatus::Retrying, "Connection refused");
        report(failed, DownloadStatus::Error, "HTTP 500");
        QTRY_COMPARE_WITH_TIMEOUT(notifier.notices.size(), 2, waitLimitMs);
        settle();
        QCOMPARE(notifier.notices,
                 QStringList(
                     {"0|Rushlet|com.rushlet.Rushlet|done.bin|1000 B|transfer.complete|com.rushlet.Rushlet|"
                      "default,,open,Open,folder,Show in folder",
                      "0|Rushlet|com.rushlet.Rushlet|failed.bin|HTTP 500|transfer.error|"
                      "com.rushlet.Rushlet|default,,show,Show"}));

        const auto invoke = [this](uint notice, const QString &action) {
            QDBusMessage signal =
                QDBusMessage::createSignal(notificationPath, notifications, "ActionInvoked");
            QVERIFY(desktop.send(signal << notice << action));
        };
        invoke(1, "folder");
        QTRY_COMPARE_WITH_TIMEOUT(
            fileManager.shown,
            QStringList{QUrl::fromLocalFile(environment.scratch() + "/done.bin").toString()}, waitLimitMs);
        QVERIFY(!window->isVisible());
        invoke(2, "show");
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), waitLimitMs);
        QCOMPARE(window->selectedId(), failed);

        window->hide();
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Error, "HTTP 404");
        QTRY_COMPARE_WITH_TIMEOUT(notifier.notices.size(), 3, waitLimitMs);
        QVERIFY(notifier.notices.at(2).startsWith("1|"));

        window->windowActions()->notifyWhenFinished->trigger();
        report(failed, DownloadStatus::Downloading);
        report(failed, DownloadStatus::Completed);
        window->windowActions()->notifyWhenFinished->trigger();
        window->show();
        QApplication::setActiveWindow(window.get());
        report(done, DownloadStatus::Downloading);
        report(done, DownloadStatus::Completed);
        settle();
        // Without a service nothing waits, and nothing is kept for a service that comes later.
        QVERIFY(desktop.unregisterService(notifications));
        window->hide();
        report(failed, DownloadStatus::Downloading);
        report(failed, DownloadStatus::Error, "HTTP 500");
        window->refreshView();
        QVERIFY(desktop.registerService(notifications));
        settle();
        QCOMPARE(notifier.notices.size(), 3);
    }

    // The machine may not suspend while a download runs, and may again as soon as none does:
    // paused, finished and failed downloads hold nothing, and neither does a program that quits.
    // The lock is asked for once each time downloading begins, not on every refresh.
    void sleepIsHeldOffExactlyWhileADownloadRuns()
    {
        const std::tuple<QString, QString, int> steps[] = {
            {"first", DownloadStatus::Connecting, 1},   {"first", DownloadStatus::Downloading, 1},
            {"second", DownloadStatus::Downloading, 1}, {"first", DownloadStatus::Paused, 1},
            {"second", DownloadStatus::Completed, 0},   {"first", DownloadStatus::Retrying, 1},
            {"first", DownloadStatus::Error, 0},        {"first", DownloadStatus::Downloading, 1}};
        for (const auto &[id, status, held] : steps) {
            report(id, status);
            settle();
            QTRY_COMPARE_WITH_TIMEOUT(login.held(), held, waitLimitMs);
        }
        window->shutdown();
        QTRY_COMPARE_WITH_TIMEOUT(login.held(), 0, waitLimitMs);
        QCOMPARE(login.requests, QStringList(3, "sleep,Rushlet,Downloading files,block"));
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
