#include "engine/DownloadMetaTypes.h"
#include "queue/DownloadContextMenu.h"
#include "queue/DownloadList.h"
#include "tests/queue/StandInEngine.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

constexpr int eventLimitMs = 30000;
// The menu follows the list on a timer; on a busy machine a tick may come late.
constexpr int tickLimitMs = 5 * DownloadContextMenu::liveUpdateIntervalMs;

void choose(QMenu &menu, QAction *action)
{
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
}

} // namespace

class TestDownloadContextMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnvironment> environment;
    std::unique_ptr<DownloadList> list;
    QWidget window;

    DownloadSnapshot add(const QString &id, const QString &status)
    {
        DownloadSnapshot snapshot;
        snapshot.id = id;
        snapshot.url = QUrl(QStringLiteral("http://127.0.0.1:9/a file/%1").arg(id));
        snapshot.destination = environment->scratch() + QStringLiteral("/") + id + QStringLiteral(".bin");
        snapshot.status = status;
        [&] { QVERIFY(list->addDownload(snapshot)); }();
        return snapshot;
    }

    StandInEngine *engineOf(const QString &id) const
    {
        return qobject_cast<StandInEngine *>(list->entry(id)->engine);
    }

private slots:
    void initTestCase()
    {
        environment = std::make_unique<TestEnvironment>();
        QVERIFY(environment->isValid());
        environment->applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
    }

    void init()
    {
        list =
            std::make_unique<DownloadList>([](const DownloadSpec &spec) { return new StandInEngine(spec); });
    }

    void cleanup() { list.reset(); }

    void offersWhatTheStatusAllows_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("fileOnDisk");
        QTest::addColumn<QString>("startLabel");
        QTest::addColumn<bool>("startEnabled");
        QTest::addColumn<bool>("pauseEnabled");
        QTest::addColumn<bool>("openFileEnabled");

        QTest::newRow("queued") << "Queued" << false << "Start" << true << false << false;
        QTest::newRow("retrying") << "Retrying" << false << "Resume" << false << true << false;
        QTest::newRow("paused") << "Paused" << false << "Resume" << true << false << false;
        QTest::newRow("error") << "Error" << false << "Retry" << true << false << false;
        QTest::newRow("completed") << "Completed" << true << "Resume" << false << false << true;
        QTest::newRow("completed, file deleted since")
            << "Completed" << false << "Resume" << false << false << false;
        QTest::newRow("awaiting confirmation")
            << "Awaiting confirmation" << false << "Resume" << false << false << false;
    }

    void offersWhatTheStatusAllows()
    {
        QFETCH(QString, status);
        QFETCH(bool, fileOnDisk);
        QFETCH(QString, startLabel);
        QFETCH(bool, startEnabled);
        QFETCH(bool, pauseEnabled);
        QFETCH(bool, openFileEnabled);

        const DownloadSnapshot download = add(QStringLiteral("one"), status);
        if (fileOnDisk)
            QVERIFY(TestEnvironment::writeFile(download.destination, "done"));
        DownloadContextMenu menu(*list, download.id, &window);
        QCOMPARE(menu.objectName(), QStringLiteral("downloadContextMenu"));
        QCOMPARE(menu.resumeAction()->text(), startLabel);
        QCOMPARE(menu.resumeAction()->isEnabled(), startEnabled);
        QCOMPARE(menu.pauseAction()->isEnabled(), pauseEnabled);
        QCOMPARE(menu.openFileAction()->isEnabled(), openFileEnabled);
        for (QAction *always :
             {menu.openFolderAction(), menu.copyUrlAction(), menu.copyPathAction(), menu.removeAction()})
            QVERIFY(always->isEnabled());
        QFile::remove(download.destination);
    }

    // Snapshots keep arriving while the menu is open; it must not show a state that has passed.
    void followsTheDownloadWhileOpen()
    {
        DownloadSnapshot download = add(QStringLiteral("one"), QStringLiteral("Downloading"));
        DownloadContextMenu menu(*list, download.id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        QVERIFY(!menu.openFileAction()->isEnabled());

        QVERIFY(TestEnvironment::writeFile(download.destination, "done"));
        download.status = QStringLiteral("Completed");
        list->onEngineUpdated(download);
        QTRY_VERIFY_WITH_TIMEOUT(menu.openFileAction()->isEnabled(), tickLimitMs);
        QVERIFY(!menu.pauseAction()->isEnabled());

        list->removeDownload(download.id);
        QTRY_VERIFY_WITH_TIMEOUT(menu.isHidden(), tickLimitMs);
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, eventLimitMs);
    }

    // The entry is carried out against the download's state when the menu closes, not the state
    // the menu last showed.
    void actsOnTheStateAtClose()
    {
        DownloadSnapshot download = add(QStringLiteral("one"), QStringLiteral("Paused"));
        DownloadContextMenu menu(*list, download.id, &window);
        QSignalSpy closed(&menu, &DownloadContextMenu::closed);
        menu.open(QPoint(40, 40));
        QVERIFY(menu.resumeAction()->isEnabled());
        // Started from elsewhere a moment before the click, too late for the menu to notice.
        download.status = QStringLiteral("Downloading");
        list->onEngineUpdated(download);
        choose(menu, menu.resumeAction());
        QVERIFY(closed.wait(eventLimitMs));
        // Commands reach the engine in order: once this one has run, a start would have too.
        StandInEngine *engine = engineOf(download.id);
        QVERIFY(QMetaObject::invokeMethod(engine, [] {}, Qt::BlockingQueuedConnection));
        QCOMPARE(engine->starts.load(), 0);
    }

    void copiesTheAddressAndThePath()
    {
        const DownloadSnapshot download = add(QStringLiteral("zwölf"), QStringLiteral("Queued"));
        for (const auto &[entry, expected] :
             {std::pair{&DownloadContextMenu::copyUrlAction,
                        QStringLiteral("http://127.0.0.1:9/a%20file/zw%C3%B6lf")},
              std::pair{&DownloadContextMenu::copyPathAction,
                        QDir::toNativeSeparators(download.destination)}}) {
            DownloadContextMenu menu(*list, download.id, &window);
            QSignalSpy closed(&menu, &DownloadContextMenu::closed);
            menu.open(QPoint(40, 40));
            choose(menu, (menu.*entry)());
            QVERIFY(closed.wait(eventLimitMs));
            QCOMPARE(QApplication::clipboard()->text(), expected);
        }
    }

    // The window runs the menu modally; the entry is carried out once run() has the menu closed.
    void runCarriesOutTheChosenEntry()
    {
        const DownloadSnapshot download = add(QStringLiteral("one"), QStringLiteral("Queued"));
        QTimer::singleShot(0, this, [] {
            auto *menu = qobject_cast<DownloadContextMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            choose(*menu, menu->removeAction());
        });
        DownloadContextMenu::run(*list, download.id, QPoint(40, 40), &window);
        QVERIFY(!list->contains(download.id));
    }
};

QTEST_MAIN(TestDownloadContextMenu)
#include "tst_DownloadContextMenu.moc"
