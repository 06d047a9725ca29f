#include "engine/DownloadMetaTypes.h"
#include "queue/actions/DownloadContextMenu.h"
#include "queue/list/DownloadList.h"
#include "tests/support/DesktopStandIns.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int eventLimitMs = 30000;
// The menu follows the list on a timer; on a busy machine a tick may come late.
constexpr int tickLimitMs = 5 * DownloadContextMenu::liveUpdateIntervalMs;
const QString fileManagerName = QStringLiteral("org.freedesktop.FileManager1");

// Clicks an entry the way a user does, so the menu hides before it reports the entry.
void choose(QMenu &menu, QAction *action)
{
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
}

} // namespace

// Plays the desktop's handler for folders.
class FolderOpener : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestDownloadContextMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<DownloadList> list;
    QWidget window;
    // The file manager is another program: it gets a connection of its own.
    QDBusConnection fileManagerSide{QString()};
    StandInFileManager fileManager;
    FolderOpener folderOpener;

    DownloadSnapshot add(const QString &status, const QString &destination = {})
    {
        DownloadSnapshot snapshot;
        snapshot.id = QStringLiteral("one");
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/file.iso"));
        snapshot.destination =
            destination.isEmpty() ? environment->scratch() + QStringLiteral("/file.iso") : destination;
        snapshot.status = status;
        [&] { QVERIFY(list->addDownload(snapshot)); }();
        return snapshot;
    }

    // One more round trip to the file manager. Its answers arrive in order, so once this one is
    // back, the answer to ShowItems has been handled and whatever it leads to has happened.
    void settle()
    {
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            fileManagerName, QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
        QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
        QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
        QVERIFY(answered.wait(eventLimitMs));
    }

private slots:
    void initTestCase()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "the private session bus is not reachable");
        fileManagerSide =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("file manager"));
        QVERIFY(fileManagerSide.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                               QDBusConnection::ExportAllSlots));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &folderOpener, "open");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void init()
    {
        list =
            std::make_unique<DownloadList>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
    }

    void cleanup() { list.reset(); }

    // Snapshots keep arriving while the menu is open; it follows them on its timer (a completion
    // enables "Open file", a file deleted since disables it) and closes once the download is gone.
    void followsTheDownloadWhileOpen()
    {
        DownloadSnapshot download = add(QStringLiteral("Queued"));
        DownloadContextMenu menu(*list, download.id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        // The first entry's label, then those of Start, Pause and Open file that are enabled.
        const auto shown = [&menu] {
            QStringList state = {menu.resumeAction()->text()};
            for (const auto &[name, action] :
                 {std::pair{"start", menu.resumeAction()}, std::pair{"pause", menu.pauseAction()},
                  std::pair{"open", menu.openFileAction()}}) {
                if (action->isEnabled())
                    state << QString::fromLatin1(name);
            }
            return state.join(QLatin1Char(' '));
        };
        const QList<std::tuple<QString, bool, QString>> steps = {
            {QStringLiteral("Queued"), false, QStringLiteral("Start start")},
            {QStringLiteral("Awaiting confirmation"), false, QStringLiteral("Resume")},
            {QStringLiteral("Retrying"), false, QStringLiteral("Resume pause")},
            {QStringLiteral("Error"), false, QStringLiteral("Retry start")},
            {QStringLiteral("Paused"), false, QStringLiteral("Resume start")},
            {QStringLiteral("Completed"), true, QStringLiteral("Resume open")},
            {QStringLiteral("Completed"), false, QStringLiteral("Resume")},
        };
        for (const auto &[status, fileOnDisk, expected] : steps) {
            if (fileOnDisk)
                QVERIFY(TestEnvironment::writeFile(download.destination, "done"));
            else
                QFile::remove(download.destination);
            download.status = status;
            list->onEngineUpdated(download);
            QTRY_COMPARE_WITH_TIMEOUT(shown(), expected, tickLimitMs);
        }
        for (QAction *always :
             {menu.openFolderAction(), menu.copyUrlAction(), menu.copyPathAction(), menu.removeAction()})
            QVERIFY(always->isEnabled());

        list->removeDownload(download.id);
        QTRY_VERIFY_WITH_TIMEOUT(menu.isHidden(), tickLimitMs);
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, eventLimitMs);
    }

    // The entry is carried out against the download's state when the menu closes, not the state
    // the menu last showed.
    void actsOnTheStateAtClose()
    {
        DownloadSnapshot download = add(QStringLiteral("Paused"));
        DownloadContextMenu menu(*list, download.id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        QVERIFY(menu.resumeAction()->isEnabled());
        // Started from elsewhere a moment before the click, too late for the menu to notice.
        download.status = QStringLiteral("Downloading");
        list->onEngineUpdated(download);
        choose(menu, menu.resumeAction());
        QVERIFY(closed.wait(eventLimitMs));
        // A download gets its engine only when it is started: none means no start was sent.
        QVERIFY(!list->entry(download.id)->engine);
    }

    // The window runs the menu modally; the entry is carried out once run() has the menu closed.
    void runCarriesOutTheChosenEntry()
    {
        const DownloadSnapshot download = add(QStringLiteral("Queued"));
        QTimer::singleShot(0, this, [] {
            auto *menu = qobject_cast<DownloadContextMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            choose(*menu, menu->removeAction());
        });
        DownloadContextMenu::run(*list, download.id, QPoint(40, 40), &window);
        QVERIFY(!list->contains(download.id));
    }

    void showsTheDownloadInItsFolder_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("filesOnDisk");
        QTest::addColumn<QString>("manager"); // "answers", "refuses" or "absent"
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("selected"); // the suffix of the file selected; null: none
        QTest::addColumn<bool>("folderOpened");
        QTest::addColumn<QString>("warning");

        const QString none;
        QTest::newRow("completed: the file")
            << "Completed" << QStringList{""} << "answers" << true << "" << false << none;
        QTest::newRow("running: its partial file") << "Downloading" << QStringList{".rushlet.part"}
                                                   << "answers" << true << ".rushlet.part" << false << none;
        QTest::newRow("the earlier product's partial file")
            << "Paused" << QStringList{".brio.part"} << "answers" << true << ".brio.part" << false << none;
        QTest::newRow("nothing on disk yet: the folder")
            << "Queued" << QStringList{} << "answers" << true << none << true << none;
        QTest::newRow("no file manager: the folder")
            << "Completed" << QStringList{""} << "absent" << true << none << true << none;
        QTest::newRow("the file manager refuses: the folder")
            << "Completed" << QStringList{""} << "refuses" << true << none << true << none;
        QTest::newRow("the folder is gone")
            << "Queued" << QStringList{} << "answers" << false << none << false << "Cannot open folder";
    }

    void showsTheDownloadInItsFolder()
    {
        QFETCH(QString, status);
        QFETCH(QStringList, filesOnDisk);
        QFETCH(QString, manager);
        QFETCH(bool, folderExists);
        QFETCH(QString, selected);
        QFETCH(bool, folderOpened);
        QFETCH(QString, warning);

        const QString folder = environment->scratch() + QStringLiteral("/%1 dl").arg(QTest::currentDataTag());
        // Spaces, a hash and letters beyond ASCII must reach the file manager percent-encoded.
        const QString destination = folder + QStringLiteral("/Grüße #1.iso");
        if (folderExists)
            QVERIFY(QDir().mkpath(folder));
        for (const QString &suffix : filesOnDisk)
            QVERIFY(TestEnvironment::writeFile(destination + suffix, "data"));
        fileManager.shown.clear();
        fileManager.refuse = manager == QLatin1String("refuses");
        folderOpener.opened.clear();
        if (manager == QLatin1String("absent"))
            fileManagerSide.unregisterService(fileManagerName);
        else if (!fileManagerSide.interface()->isServiceRegistered(fileManagerName))
            QVERIFY(fileManagerSide.registerService(fileManagerName));
        QString warned;
        ModalDialogs::answerNext([&warned](QDialog &box) {
            warned = box.windowTitle();
            return int(QMessageBox::Ok);
        });

        DownloadContextMenu menu(*list, add(status, destination).id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        choose(menu, menu.openFolderAction());
        QVERIFY(closed.wait(eventLimitMs));

        if (!selected.isNull()) {
            QTRY_COMPARE_WITH_TIMEOUT(fileManager.shown.size(), 1, eventLimitMs);
            QCOMPARE(fileManager.shown.first(),
                     QUrl::fromLocalFile(destination + selected).toString(QUrl::FullyEncoded));
            settle();
        }
        if (folderOpened)
            QTRY_COMPARE_WITH_TIMEOUT(folderOpener.opened, QList<QUrl>{QUrl::fromLocalFile(folder)},
                                      eventLimitMs);
        QCOMPARE(fileManager.shown.size(), selected.isNull() ? 0 : 1);
        QCOMPARE(folderOpener.opened.size(), folderOpened ? 1 : 0);
        QCOMPARE(warned, warning);
        // An answer no warning took must not answer the next row's question.
        if (ModalDialogs::pendingAnswers() > 0)
            ModalDialogs::warning(nullptr, QString(), QString());
    }
};

int main(int argc, char *argv[])
{
    // Before the application exists: nothing may reach for the user's session bus first.
    SessionBus bus;
    const bool busStarted = bus.start();
    QApplication app(argc, argv);
    if (!busStarted) {
        qCritical("A private session bus could not be started (dbus-daemon).");
        return 1;
    }
    TestDownloadContextMenu test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_DownloadContextMenu.moc"
