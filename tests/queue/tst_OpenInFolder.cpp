#include "engine/DownloadMetaTypes.h"
#include "queue/DownloadContextMenu.h"
#include "queue/DownloadList.h"
#include "tests/queue/StandInEngine.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int eventLimitMs = 30000;

// Clicks an entry the way a user does, so the menu hides before it reports the entry.
void choose(DownloadContextMenu &menu, QAction *action)
{
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
}

} // namespace

// Plays the desktop's file manager on the private bus and records what it is asked to show.
class StandInFileManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;
    bool refuse = false;

public slots:
    void ShowItems(const QStringList &uris, const QString &startupId)
    {
        Q_UNUSED(startupId)
        if (refuse)
            sendErrorReply(QDBusError::Failed, QStringLiteral("No window could be opened."));
        else
            shown += uris;
    }
};

// Plays the desktop's handler for folders.
class FolderOpener : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestOpenInFolder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    // A connection of its own, as the file manager is another program.
    QDBusConnection serviceSide{QString()};
    StandInFileManager fileManager;
    FolderOpener folderOpener;

    // One more round trip to the file manager. Its answers arrive in order, so once this one is
    // back, the answer to ShowItems has been handled and whatever it leads to has happened.
    void settle()
    {
        const QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
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
        serviceSide = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in"));
        QVERIFY(serviceSide.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                           QDBusConnection::ExportAllSlots));
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &folderOpener, "open");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    void showsTheDownloadInItsFolder_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("filesOnDisk");
        QTest::addColumn<QString>("manager");
        QTest::addColumn<bool>("folderExists");
        // The suffix of the file selected, or null when none is.
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("folderOpened");
        QTest::addColumn<QString>("warning");

        const QString none;
        QTest::newRow("completed: the file")
            << "Completed" << QStringList{""} << "answers" << true << "" << false << none;
        QTest::newRow("running: its partial file") << "Downloading" << QStringList{".rushlet.part"}
                                                   << "answers" << true << ".rushlet.part" << false << none;
        QTest::newRow("the earlier product's partial file")
            << "Paused" << QStringList{".brio.part"} << "answers" << true << ".brio.part" << false << none;
        QTest::newRow("the current partial file before the earlier one")
            << "Paused" << QStringList{".brio.part", ".rushlet.part"} << "answers" << true << ".rushlet.part"
            << false << none;
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
        const QString service = QStringLiteral("org.freedesktop.FileManager1");
        if (manager == QLatin1String("absent"))
            serviceSide.unregisterService(service);
        else
            QVERIFY(serviceSide.registerService(service) ||
                    serviceSide.interface()->isServiceRegistered(service));

        QString warned;
        ModalDialogs::answerNext([&warned](QDialog &box) {
            warned = box.windowTitle();
            return int(QMessageBox::Ok);
        });

        DownloadList list([](const DownloadSpec &spec) { return new StandInEngine(spec); });
        DownloadSnapshot snapshot;
        snapshot.id = QStringLiteral("one");
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/file.iso"));
        snapshot.destination = destination;
        snapshot.status = status;
        QVERIFY(list.addDownload(snapshot));
        QWidget window;
        DownloadContextMenu menu(list, snapshot.id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        choose(menu, menu.openFolderAction());
        QVERIFY(closed.wait(eventLimitMs));

        if (!selected.isNull()) {
            QTRY_COMPARE_WITH_TIMEOUT(fileManager.shown.size(), 1, eventLimitMs);
            QCOMPARE(fileManager.shown.first(),
                     QUrl::fromLocalFile(destination + selected).toString(QUrl::FullyEncoded));
            QVERIFY(fileManager.shown.first().contains(QStringLiteral("Gr%C3%BC%C3%9Fe%20%231.iso")));
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
    TestOpenInFolder test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_OpenInFolder.moc"
