// The main window with a real system tray: Xvfb, openbox and trayer (an XEmbed tray), downloads
// from a local nginx on the program's own engines. The test program is itself the window's
// program, on the xcb platform of the private display, with a session bus of its own that offers
// no tray service, so the icon docks in trayer.

#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "queue/closing/TrayIcon.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "queue/window/MainWindow.h"
#include "queue/window/WindowActions.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/NginxServer.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestProcesses.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int waitLimitMs = 30000;
// A download through a rate-limited server on a machine shared with other builds.
constexpr int downloadLimitMs = 180000;
const QSize screenSize(1024, 768);
constexpr qint64 fileSize = 3 * 1024 * 1024;
// Slow enough that every download is still running when the window closes or the program exits.
constexpr qint64 bytesPerSecond = 256 * 1024;

QByteArray sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

} // namespace

class TestTrayDesktop : public QObject
{
    Q_OBJECT

public:
    TestTrayDesktop(const DesktopSession &session, const TestEnvironment &environment)
        : session(session)
        , environment(environment)
    {
        QProcessEnvironment onDisplay = environment.processEnvironment();
        onDisplay.insert("DISPLAY", session.display());
        trayer.setProcessEnvironment(onDisplay);
    }

    ~TestTrayDesktop() override { TestProcesses::stop(trayer); }

private slots:
    void initTestCase()
    {
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        QVERIFY(startTray());
        NginxServer::Options options;
        options.limitRate = bytesPerSecond;
        QVERIFY2(nginx.start(options), qPrintable(nginx.errorString()));
        for (const QString &name :
             {QStringLiteral("a.bin"), QStringLiteral("b.bin"), QStringLiteral("c.bin")}) {
            QByteArray content(fileSize, Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(content.data()),
                                                  content.size() / qsizetype(sizeof(quint32)));
            QVERIFY(TestEnvironment::writeFile(nginx.documentRoot() + '/' + name, content));
            served.insert(name, sha256(content));
        }
    }

    void init()
    {
        QSettings().clear();
        QFile::remove(QueueRules::queueFilePath());
    }

    // Closing with "tray" hides the window while its download goes on to the end; a click on the
    // icon brings the window back.
    void closeToTrayAndBack()
    {
        QSettings().setValue(QStringLiteral("closeBehavior"), QStringLiteral("tray"));
        auto window = std::make_unique<MainWindow>();
        TrayIcon *tray = window->trayIcon();
        QTRY_VERIFY_WITH_TIMEOUT(tray->isVisible() && !tray->geometry().isEmpty(), waitLimitMs);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
        const QString id = startDownload(*window, QStringLiteral("a.bin"), 2);
        QVERIFY(QTest::qWaitFor([&] { return isRunning(*window, id); }, waitLimitMs));

        window->close();
        QVERIFY(window->isHidden());
        QVERIFY(!window->shuttingDown());
        QVERIFY(tray->isVisible());
        QVERIFY(isRunning(*window, id));
        // Hiding saved the list and the place of the window.
        QCOMPARE(environment.savedQueue().size(), 1);
        QVERIFY(!QSettings().value(QStringLiteral("geometry")).toByteArray().isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(status(*window, id), DownloadStatus::Completed, downloadLimitMs);
        QCOMPARE(sha256(TestEnvironment::readFile(destination(QStringLiteral("a.bin")))),
                 served.value(QStringLiteral("a.bin")));

        // The tray may hand the click on only once it has laid the icon out, so click until the
        // window shows.
        const QPoint icon = tray->geometry().center();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return session.run("xdotool", {"mousemove", "--sync", QString::number(icon.x()),
                                               QString::number(icon.y()), "click", "1"}) &&
                       QTest::qWaitFor([&] { return window->isVisible(); }, 1000);
            },
            waitLimitMs));
        QVERIFY(QTest::qWaitForWindowExposed(window.get(), waitLimitMs));
    }

    // Exit while three downloads run: each is saved paused with what it has, the tray icon goes,
    // and the next start resumes each where it stopped.
    void exitPausesEveryDownloadAndTheNextRunResumes()
    {
        const QStringList names = {QStringLiteral("a.bin"), QStringLiteral("b.bin"), QStringLiteral("c.bin")};
        QStringList ids;
        {
            MainWindow window;
            TrayIcon *tray = window.trayIcon();
            QTRY_VERIFY_WITH_TIMEOUT(tray->isVisible(), waitLimitMs);
            window.show();
            for (const QString &name : names)
                ids << startDownload(window, name, 3);
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return std::all_of(ids.cbegin(), ids.cend(), [&](const QString &id) {
                        return isRunning(window, id) && window.downloads()->entry(id)->snapshot.received > 0;
                    });
                },
                waitLimitMs));

            window.windowActions()->exit->trigger();
            QVERIFY(window.shuttingDown());
            QVERIFY(!tray->isVisible());
        }
        const QJsonArray saved = environment.savedQueue();
        QCOMPARE(saved.size(), 3);
        for (const QJsonValue &value : saved) {
            const QJsonObject entry = value.toObject();
            const QString id = entry.value(QStringLiteral("id")).toString();
            QCOMPARE(entry.value(QStringLiteral("status")).toString(), DownloadStatus::Paused);
            QCOMPARE(entry.value(QStringLiteral("total")).toString().toLongLong(), fileSize);
            const qint64 received = entry.value(QStringLiteral("received")).toString().toLongLong();
            QVERIFY2(received > 0 && received < fileSize, qPrintable(id));
            QVERIFY(!entry.value(QStringLiteral("segments")).toArray().isEmpty());
        }
        const qsizetype firstRunRequests = nginx.accessLog().size();

        MainWindow next;
        for (const QString &id : std::as_const(ids)) {
            QCOMPARE(status(next, id), DownloadStatus::Paused);
            next.downloads()->startDownload(id);
        }
        for (const QString &id : std::as_const(ids))
            QTRY_COMPARE_WITH_TIMEOUT(status(next, id), DownloadStatus::Completed, downloadLimitMs);
        for (const QString &name : names)
            QCOMPARE(sha256(TestEnvironment::readFile(destination(name))), served.value(name));
        // Resumed, not started over: the second run fetched only what the first had not.
        const QList<NginxServer::LogEntry> log = nginx.accessLog();
        for (const QString &name : names) {
            qint64 fetched = 0;
            for (qsizetype line = firstRunRequests; line < log.size(); ++line) {
                if (log[line].uri == '/' + name.toLatin1())
                    fetched += log[line].bodyBytes;
            }
            QVERIFY2(fetched < fileSize, qPrintable(name));
        }
    }

    // A tray that starts after the window gets its icon, and one that goes takes it along; the
    // window hides into the tray only while there is one.
    void theIconFollowsATrayThatComesAndGoes()
    {
        TestProcesses::stop(trayer);
        QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), waitLimitMs);
        MainWindow window;
        TrayIcon *tray = window.trayIcon();
        QVERIFY(!tray->isUsable() && tray->geometry().isEmpty());
        QVERIFY(startTray());
        QTRY_VERIFY_WITH_TIMEOUT(tray->isUsable() && !tray->geometry().isEmpty(), waitLimitMs);
        TestProcesses::stop(trayer);
        QTRY_VERIFY_WITH_TIMEOUT(!tray->isUsable() && tray->geometry().isEmpty(), waitLimitMs);
        QVERIFY(startTray());
        QTRY_VERIFY_WITH_TIMEOUT(tray->isUsable() && !tray->geometry().isEmpty(), waitLimitMs);
    }

private:
    bool startTray()
    {
        trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "100",
                                "--height", "24"});
        return trayer.waitForStarted(waitLimitMs) &&
               QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, waitLimitMs);
    }

    // A folder of each test's own, so that no file of an earlier test is in the way.
    QString destination(const QString &name) const
    {
        return environment.scratch() + '/' + QTest::currentTestFunction() + '/' + name;
    }

    QString startDownload(MainWindow &window, const QString &name, int connections)
    {
        DownloadSnapshot snapshot;
        snapshot.id = name.section('.', 0, 0);
        snapshot.url = nginx.url('/' + name);
        snapshot.destination = destination(name);
        snapshot.connections = connections;
        window.downloads()->addDownload(snapshot);
        window.downloads()->startDownload(snapshot.id);
        return snapshot.id;
    }

    static QString status(const MainWindow &window, const QString &id)
    {
        const QueueEntry *entry = window.downloads()->entry(id);
        return entry ? entry->snapshot.status : QString();
    }

    static bool isRunning(const MainWindow &window, const QString &id)
    {
        return QueueRules::isActiveStatus(status(window, id));
    }

    const DesktopSession &session;
    const TestEnvironment &environment;
    NginxServer nginx;
    QHash<QString, QByteArray> served;
    QProcess trayer;
};

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    if (!environment.isValid())
        return 1;
    environment.applyToCurrentProcess();
    // Before anything asks for the bus: with no tray service on it, the icon docks in trayer.
    SessionBus bus;
    if (!bus.start())
        return 1;
    DesktopSession session;
    QString error;
    if (!session.start(environment.processEnvironment(), screenSize, &error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    qputenv("DISPLAY", session.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 1;
    {
        QApplication app(argc, argv);
        // Closing the window to the tray must not end the test.
        QApplication::setQuitOnLastWindowClosed(false);
        TestTrayDesktop test(session, environment);
        result = QTest::qExec(&test, argc, argv);
    }
    return result;
}

#include "tst_TrayDesktop.moc"
