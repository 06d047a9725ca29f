#include "bridge/setup/BrowserSetup.h"
#include "engine/DownloadMetaTypes.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "i18n/TranslationRules.h"
#include "queue/actions/DownloadContextMenu.h"
#include "queue/actions/SpeedLimitMenu.h"
#include "queue/actions/TextEntryDialog.h"
#include "queue/adding/AddDialog.h"
#include "queue/closing/CloseConfirmationDialog.h"
#include "queue/closing/TrayIcon.h"
#include "queue/window/CategorySidebar.h"
#include "queue/window/DetailsPane.h"
#include "queue/window/DownloadTable.h"
#include "queue/window/MainWindow.h"
#include "queue/window/ProgressDelegate.h"
#include "queue/window/TransferPage.h"
#include "queue/window/WindowActions.h"
#include "queue/window/WindowStatusBar.h"
#include "tests/support/StandInEngine.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogs.h"
#include "ui/PopupMenu.h"
#include "update/UpdateDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString unknownStatus = QStringLiteral("Unknown status");

// Every status of the engines' vocabulary and one from outside it, each a download of its own.
const QStringList everyStatus = {DownloadStatus::Queued,      DownloadStatus::Connecting,
                                 DownloadStatus::Downloading, DownloadStatus::Retrying,
                                 DownloadStatus::Paused,      DownloadStatus::Completed,
                                 DownloadStatus::Error,       DownloadStatus::AwaitingConfirmation,
                                 DownloadStatus::Verifying,   unknownStatus};

// Engines by id, as the window's list creates them.
QHash<QString, StandInEngine *> &engines()
{
    static QHash<QString, StandInEngine *> created;
    return created;
}

std::unique_ptr<MainWindow> makeWindow()
{
    engines().clear();
    return std::make_unique<MainWindow>([](const DownloadSpec &spec) {
        auto *engine = new StandInEngine(spec);
        engines().insert(spec.id, engine);
        return engine;
    });
}

DownloadSnapshot download(const QString &id, const QString &status, const QString &name = QString())
{
    DownloadSnapshot snapshot;
    snapshot.id = id;
    snapshot.url = QUrl(QStringLiteral("https://example.com/") + id);
    snapshot.destination =
        QStringLiteral("/downloads/") + (name.isEmpty() ? id + QStringLiteral(".bin") : name);
    snapshot.status = status;
    snapshot.total = 1000;
    snapshot.received = status == DownloadStatus::Completed ? 1000 : 250;
    return snapshot;
}

// One download per status, with the status itself as its id.
void addEveryStatus(MainWindow &window)
{
    for (const QString &status : everyStatus)
        QVERIFY(window.downloads()->addDownload(download(status, status)));
    window.refreshView();
}

QString cellText(const MainWindow &window, int row, int column)
{
    const QTableWidgetItem *item = window.downloadTable()->item(row, column);
    return item ? item->text() : QString();
}

QStringList actionTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("|")
                  : action->menu()      ? action->menu()->objectName()
                                        : action->text());
    return texts;
}

QJsonObject browserRequest(const QString &browserId, const QString &name)
{
    return {{QStringLiteral("type"), QStringLiteral("download")},
            {QStringLiteral("url"), QString(QStringLiteral("http://127.0.0.1:9/") + name)},
            {QStringLiteral("id"), browserId},
            {QStringLiteral("filename"), name}};
}

// Notes the name the add dialog offers, then types `link` if given, picks the start mode and
// presses the primary button, as a person would.
ModalDialogs::Answer submit(QStringList &offered, const QString &link = {}, bool queueOnly = false)
{
    return [&offered, link, queueOnly](QDialog &dialog) {
        if (!link.isEmpty())
            dialog.findChild<QLineEdit *>(QStringLiteral("downloadUrl"))->setText(link);
        offered << dialog.findChild<QLineEdit *>(QStringLiteral("downloadName"))->text();
        dialog.findChild<QComboBox *>(QStringLiteral("downloadStartMode"))->setCurrentIndex(queueOnly);
        dialog.findChild<QPushButton *>(QStringLiteral("addDownloadPrimary"))->click();
        return dialog.result();
    };
}

int decline(QDialog &)
{
    return QDialog::Rejected;
}

// Runs `open`, which may bring up a download's context menu modally; an open menu is answered with
// the entry `choose` picks from it (closed when none, or when that entry is disabled). Returns the text of
// the menu's first entry, or a null string when no menu came up.
QString answerContextMenu(const std::function<void()> &open,
                          const std::function<QAction *(DownloadContextMenu &)> &choose)
{
    QString firstEntry;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<DownloadContextMenu *>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible())
            return;
        watcher.stop();
        firstEntry = menu->resumeAction()->text();
        QAction *action = choose(*menu);
        // A disabled entry would leave the menu open for ever.
        if (action && action->isEnabled())
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        else
            menu->close();
    });
    watcher.start();
    open();
    return firstEntry;
}

template <typename T>
T *child(const QObject &parent, const QString &name)
{
    T *found = parent.findChild<T *>(name);
    if (!found)
        qWarning() << "missing" << name;
    return found;
}

} // namespace

class TestWindowView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(environment.isValid());
        environment.applyToCurrentProcess();
        TestEnvironment::useProgramNames();
        registerDownloadMetaTypes();
        Localization::setLanguage(QStringLiteral("en"));
    }

    void init()
    {
        QSettings().remove(QStringLiteral("geometry"));
        QFile::remove(environment.dataFolder() + QStringLiteral("/queue.json"));
    }

    void widgetTree()
    {
        const auto window = makeWindow();
        QCOMPARE(window->windowTitle(), QStringLiteral("Rushlet Download Manager"));
        QCOMPARE(window->minimumSize(), QSize(780, 500));

        auto *categories = child<QListWidget>(*window, QStringLiteral("categories"));
        QVERIFY(categories);
        QCOMPARE(categories->count(), 6);
        QCOMPARE(categories->currentRow(), 0);
        QCOMPARE(categories->item(3)->text(), QStringLiteral("Queued"));

        const DownloadTable *table = window->downloadTable();
        QCOMPARE(table->columnCount(), 6);
        QStringList headers;
        for (int column = 0; column < table->columnCount(); ++column)
            headers << table->horizontalHeaderItem(column)->text();
        QCOMPARE(headers, QStringList({QStringLiteral("File name"), QStringLiteral("Size"),
                                       QStringLiteral("Progress"), QStringLiteral("Status"),
                                       QStringLiteral("Speed"), QStringLiteral("Remaining")}));
        QVERIFY(
            qobject_cast<ProgressDelegate *>(table->itemDelegateForColumn(DownloadTable::ProgressColumn)));
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), 36);
        QCOMPARE(table->contextMenuPolicy(), Qt::CustomContextMenu);

        auto *inspector = child<QTabWidget>(*window, QStringLiteral("downloadInspector"));
        QVERIFY(inspector);
        QCOMPARE(inspector->count(), 2);
        QCOMPARE(inspector->findChildren<QWidget *>(QStringLiteral("inspectorPage")).size(), 2);
        QVERIFY(child<QLabel>(*inspector, QStringLiteral("transferStatus")));
        QVERIFY(child<QLabel>(*inspector, QStringLiteral("transferError")));

        const QToolBar *toolBar = window->findChild<QToolBar *>();
        const WindowActions *actions = window->windowActions();
        QCOMPARE(toolBar->actions().size(), 8);
        QCOMPARE(toolBar->actions().at(0), actions->addUrl);
        QCOMPARE(toolBar->actions().at(2), actions->resume);
        QCOMPARE(toolBar->actions().at(7), actions->openFolder);
        QCOMPARE(actions->exit->objectName(), QStringLiteral("exitApplication"));
        QCOMPARE(actions->checkForUpdates->objectName(), QStringLiteral("checkForUpdates"));
        QCOMPARE(actions->addUrl->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
        QCOMPARE(actions->remove->shortcut(), QKeySequence(QKeySequence::Delete));

        const QMenuBar *menuBar = window->findChild<QMenuBar *>();
        QVERIFY(menuBar);
        QStringList menus;
        for (const QAction *action : menuBar->actions())
            menus << action->text();
        QCOMPARE(menus, QStringList({QStringLiteral("&File"), QStringLiteral("&Downloads"),
                                     QStringLiteral("&View"), QStringLiteral("&Help")}));
        QCOMPARE(
            actionTexts(menuBar->actions().at(1)->menu()),
            QStringList({QStringLiteral("Resume"), QStringLiteral("Pause"), QStringLiteral("Pause all"),
                         QStringLiteral("overallSpeedLimitMenu"), QStringLiteral("|"),
                         QStringLiteral("Open in folder"), QStringLiteral("|"), QStringLiteral("Remove")}));
        QCOMPARE(
            actionTexts(window->viewMenu()),
            QStringList({QStringLiteral("Show details pane"), QStringLiteral("Notify when downloads finish"),
                         QStringLiteral("|"), QStringLiteral("languageMenu"), QStringLiteral("|"),
                         QStringLiteral("closeBehaviorMenu")}));
        // The tray's commands are the window's own actions, enabled and translated with them.
        const QList<QAction *> tray = window->trayIcon()->menu()->actions();
        QCOMPARE(tray.size(), 8);
        QCOMPARE(
            QList<QAction *>({tray[2], tray[3], tray[6], tray[7]}),
            QList<QAction *>({actions->addUrl, actions->pauseAll, actions->checkForUpdates, actions->exit}));
        QCOMPARE(actionTexts(menuBar->actions().at(3)->menu()),
                 QStringList({QStringLiteral("Check for Updates"), QStringLiteral("|"),
                              QStringLiteral("Set up browsers…"), QStringLiteral("|"),
                              QStringLiteral("About Rushlet")}));

        // Names that look like markup must show their brackets.
        for (const QLabel *label : window->findChildren<QLabel *>())
            QCOMPARE(label->textFormat(), Qt::PlainText);

        actions->showDetails->trigger();
        QVERIFY(inspector->isHidden());
        actions->showDetails->trigger();
        QVERIFY(!inspector->isHidden());
    }

    void categoriesFilterEveryStatus_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("All files") << 0 << everyStatus;
        QTest::newRow("Downloading") << 1
                                     << QStringList({DownloadStatus::Connecting, DownloadStatus::Downloading,
                                                     DownloadStatus::Retrying, DownloadStatus::Verifying});
        QTest::newRow("Paused") << 2 << QStringList({DownloadStatus::Paused});
        QTest::newRow("Queued") << 3
                                << QStringList(
                                       {DownloadStatus::Queued, DownloadStatus::AwaitingConfirmation});
        QTest::newRow("Completed") << 4 << QStringList({DownloadStatus::Completed});
        QTest::newRow("Errors") << 5 << QStringList({DownloadStatus::Error});
        QTest::newRow("none selected") << -1 << everyStatus;
    }

    void categoriesFilterEveryStatus()
    {
        QFETCH(int, row);
        QFETCH(QStringList, shown);
        const auto window = makeWindow();
        addEveryStatus(*window);
        window->categorySidebar()->setCurrentRow(row);
        QCOMPARE(window->downloadTable()->shownIds(), shown);
        const QString title =
            row < 0 ? QStringLiteral("All files") : window->categorySidebar()->item(row)->text();
        QCOMPARE(window->findChild<QLabel *>(QStringLiteral("headerLabel"))->text(),
                 QString::fromUtf8(shown.size() == 1 ? "%1  ·  %2 item" : "%1  ·  %2 items")
                     .arg(title)
                     .arg(shown.size()));
        // Whatever the category, a row stays selected and the selection shows in the details.
        QCOMPARE(window->selectedId(), shown.constFirst());
    }

    void commandsFollowTheSelection_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("startLabel");
        QTest::addColumn<bool>("canStart");
        QTest::addColumn<bool>("canPause");
        QTest::newRow("queued") << DownloadStatus::Queued << QStringLiteral("Start") << true << false;
        QTest::newRow("connecting") << DownloadStatus::Connecting << QStringLiteral("Resume") << false
                                    << true;
        QTest::newRow("downloading") << DownloadStatus::Downloading << QStringLiteral("Resume") << false
                                     << true;
        QTest::newRow("retrying") << DownloadStatus::Retrying << QStringLiteral("Resume") << false << true;
        QTest::newRow("paused") << DownloadStatus::Paused << QStringLiteral("Resume") << true << false;
        QTest::newRow("completed") << DownloadStatus::Completed << QStringLiteral("Resume") << false << false;
        QTest::newRow("error") << DownloadStatus::Error << QStringLiteral("Retry") << true << false;
        QTest::newRow("awaiting confirmation")
            << DownloadStatus::AwaitingConfirmation << QStringLiteral("Resume") << false << false;
        QTest::newRow("verifying") << DownloadStatus::Verifying << QStringLiteral("Resume") << false << true;
        QTest::newRow("unknown") << unknownStatus << QStringLiteral("Resume") << true << false;
    }

    void commandsFollowTheSelection()
    {
        QFETCH(QString, status);
        QFETCH(QString, startLabel);
        QFETCH(bool, canStart);
        QFETCH(bool, canPause);
        const auto window = makeWindow();
        const WindowActions *actions = window->windowActions();
        for (QAction *action :
             {actions->resume, actions->pause, actions->remove, actions->pauseAll, actions->openFolder})
            QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
        QCOMPARE(window->windowStatusBar()->summary(), QStringLiteral("Ready · Add a URL to begin"));

        window->downloads()->addDownload(download(QStringLiteral("a"), status));
        window->refreshView();
        QCOMPARE(window->selectedId(), QStringLiteral("a"));
        QCOMPARE(actions->resume->text(), startLabel);
        QCOMPARE(actions->resume->isEnabled(), canStart);
        QCOMPARE(actions->pause->isEnabled(), canPause);
        QVERIFY(actions->remove->isEnabled());
        QVERIFY(actions->openFolder->isEnabled());
        QCOMPARE(actions->pauseAll->isEnabled(), canPause);
        QCOMPARE(cellText(*window, 0, DownloadTable::StatusColumn), status);

        window->downloadTable()->clearSelection();
        QVERIFY(!actions->resume->isEnabled());
        QVERIFY(!actions->remove->isEnabled());
        QCOMPARE(actions->resume->text(), QStringLiteral("Resume"));
    }

    void commandsReachTheEngine_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("starts");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<bool>("confirmation");
        QTest::newRow("double-click retries an error")
            << DownloadStatus::Error << "double-click" << 1 << 0 << false;
        QTest::newRow("double-click pauses a transfer")
            << DownloadStatus::Downloading << "double-click" << 0 << 1 << false;
        QTest::newRow("double-click leaves a finished file")
            << DownloadStatus::Completed << "double-click" << 0 << 0 << false;
        QTest::newRow("double-click asks for confirmation")
            << DownloadStatus::AwaitingConfirmation << "double-click" << 0 << 0 << true;
        QTest::newRow("resume starts a paused download")
            << DownloadStatus::Paused << "resume" << 1 << 0 << false;
        QTest::newRow("pause a transfer") << DownloadStatus::Downloading << "pause" << 0 << 1 << false;
        QTest::newRow("pause asks for confirmation instead")
            << DownloadStatus::AwaitingConfirmation << "pause" << 0 << 0 << true;
        QTest::newRow("pause all") << DownloadStatus::Downloading << "pause all" << 0 << 1 << false;
        QTest::newRow("Shift+F10 menu at the current row: retry")
            << DownloadStatus::Error << "menu key" << 1 << 0 << false;
        QTest::newRow("right click selects the row under it: pause")
            << DownloadStatus::Downloading << "right click" << 0 << 1 << false;
        QTest::newRow("right click below the rows: no menu")
            << DownloadStatus::Paused << "right click below" << 0 << 0 << false;
    }

    void commandsReachTheEngine()
    {
        QFETCH(QString, status);
        QFETCH(QString, gesture);
        QFETCH(int, starts);
        QFETCH(int, pauses);
        QFETCH(bool, confirmation);
        const auto window = makeWindow();
        DownloadList *list = window->downloads();
        // A queued download beside it must be left alone by every gesture.
        list->addDownload(download(QStringLiteral("other"), DownloadStatus::Queued));
        const QString id = QStringLiteral("a");
        if (status == DownloadStatus::Downloading) {
            // A transfer runs because its engine was started.
            list->addDownload(download(id, DownloadStatus::Paused));
            list->startDownload(id);
            QTRY_COMPARE(list->entry(id)->snapshot.status, DownloadStatus::Downloading);
        } else {
            list->addDownload(download(id, status));
        }
        window->refreshView();
        QVERIFY(window->downloadTable()->selectDownload(id));
        const auto counted = [id] {
            const StandInEngine *engine = engines().value(id);
            return engine ? std::pair<int, int>(engine->starts, engine->pauses) : std::pair<int, int>(0, 0);
        };
        const auto [startsBefore, pausesBefore] = counted();
        QSignalSpy confirmations(window.get(), &MainWindow::confirmationRequested);
        // The confirmation opens at once in place of the command; declined here.
        if (confirmation)
            ModalDialogs::answerNext(decline);

        DownloadTable *table = window->downloadTable();
        const auto rightClick = [table](const QPoint &at) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, table->viewport()->mapToGlobal(at));
            QApplication::sendEvent(table->viewport(), &event);
        };
        const auto firstEntry = [&](const std::function<void()> &open) {
            return answerContextMenu(open, [&](DownloadContextMenu &menu) {
                return starts ? menu.resumeAction() : menu.pauseAction();
            });
        };
        if (gesture == QLatin1String("menu key")) {
            window->show();
            QVERIFY(QTest::qWaitForWindowActive(window.get()));
            table->setFocus();
            QCOMPARE(firstEntry([table] { QTest::keyClick(table, Qt::Key_F10, Qt::ShiftModifier); }),
                     QStringLiteral("Retry"));
        } else if (gesture == QLatin1String("right click")) {
            // The menu is for the row clicked, not for the one selected before.
            QVERIFY(table->selectDownload(QStringLiteral("other")));
            QCOMPARE(firstEntry([&] { rightClick(table->visualRect(table->model()->index(1, 1)).center()); }),
                     QStringLiteral("Resume"));
            QCOMPARE(window->selectedId(), id);
        } else if (gesture == QLatin1String("right click below")) {
            QVERIFY(firstEntry([&] { rightClick(QPoint(10, table->viewport()->height() - 2)); }).isNull());
            QCOMPARE(window->selectedId(), id);
        } else if (gesture == QLatin1String("double-click")) {
            emit table->cellDoubleClicked(1, DownloadTable::StatusColumn);
        } else if (gesture == QLatin1String("resume")) {
            window->windowActions()->resume->trigger();
        } else if (gesture == QLatin1String("pause")) {
            window->invokeOnSelected(MainWindow::Command::Pause);
        } else {
            window->windowActions()->pauseAll->trigger();
        }

        const auto expected = std::pair<int, int>(startsBefore + starts, pausesBefore + pauses);
        QTRY_COMPARE(counted(), expected);
        // Commands are queued; let anything sent wrongly arrive before the final count.
        QTest::qWait(50);
        QCOMPARE(counted(), expected);
        QCOMPARE(confirmations.count(), confirmation ? 1 : 0);
        QCOMPARE(ModalDialogs::pendingAnswers(), 0);
        if (const StandInEngine *other = engines().value(QStringLiteral("other")))
            QCOMPARE(other->starts + other->pauses, 0);
    }

    // The add dialog reached from the window: Ctrl+N, and every road that offers what the
    // browser sent, up to the shutdown, after which nothing is offered.
    void addsAndConfirmsDownloads()
    {
        QSettings().setValue(QStringLiteral("downloadFolder"), environment.scratch());
        const auto window = makeWindow();
        DownloadList *list = window->downloads();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const auto starts = [](const QString &id) {
            const StandInEngine *engine = engines().value(id);
            return engine ? engine->starts.load() : 0;
        };
        const auto status = [list](const QString &id) { return list->entry(id)->snapshot.status; };
        QStringList offered;

        ModalDialogs::answerNext(submit(offered, QStringLiteral("http://127.0.0.1:9/by-hand.iso")));
        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(ModalDialogs::pendingAnswers(), 0);
        const QString byHand = window->selectedId();
        QCOMPARE(list->ids(), QStringList{byHand});
        QTRY_COMPARE(starts(byHand), 1);

        // Both requests are answered before anything is offered; then one dialog after the other.
        ModalDialogs::answerNext(submit(offered));
        ModalDialogs::answerNext(submit(offered, {}, true));
        const QString first =
            window->handleBridgeRequest(browserRequest(QStringLiteral("1"), QStringLiteral("first.bin")))
                .value(QStringLiteral("id"))
                .toString();
        QCOMPARE(window->selectedId(), first);
        QCOMPARE(status(first), DownloadStatus::AwaitingConfirmation);
        const QString second =
            window->handleBridgeRequest(browserRequest(QStringLiteral("2"), QStringLiteral("second.bin")))
                .value(QStringLiteral("id"))
                .toString();
        QCOMPARE(ModalDialogs::pendingAnswers(), 2);
        QTRY_COMPARE(ModalDialogs::pendingAnswers(), 0);
        QTRY_COMPARE(starts(first), 1);
        QCOMPARE(status(second), DownloadStatus::Queued);

        // A repeated request adds nothing and is offered once; a double-click offers it at once.
        const QJsonObject third = browserRequest(QStringLiteral("3"), QStringLiteral("third.bin"));
        const QString thirdId = window->handleBridgeRequest(third).value(QStringLiteral("id")).toString();
        QCOMPARE(window->handleBridgeRequest(third).value(QStringLiteral("id")).toString(), thirdId);
        ModalDialogs::answerNext([&offered](QDialog &dialog) {
            offered << dialog.findChild<QLineEdit *>(QStringLiteral("downloadName"))->text();
            return decline(dialog);
        });
        emit window->downloadTable()->cellDoubleClicked(window->downloadTable()->currentRow(), 0);
        QVERIFY(!list->contains(thirdId));
        QCOMPARE(offered, (QStringList{QStringLiteral("by-hand.iso"), QStringLiteral("first.bin"),
                                       QStringLiteral("second.bin"), QStringLiteral("third.bin")}));
        QCOMPARE(list->ids(), (QStringList{byHand, first, second}));
        QCOMPARE(starts(second), 0);

        // Arrived, then the shutdown before its turn: it waits for the next start.
        const QString last =
            window->handleBridgeRequest(browserRequest(QStringLiteral("4"), QStringLiteral("last.bin")))
                .value(QStringLiteral("id"))
                .toString();
        window->shutdown();
        ModalDialogs::answerNext(decline);
        window->offerAwaitingDownloads();
        window->invokeOnSelected(MainWindow::Command::Start);
        QCoreApplication::processEvents();
        QCOMPARE(ModalDialogs::pendingAnswers(), 1);
        QDialog unused;
        ModalDialogs::run(unused);
        QCOMPARE(status(last), DownloadStatus::AwaitingConfirmation);
    }

    void removeTakesTheSelectedDownload()
    {
        const auto window = makeWindow();
        addEveryStatus(*window);
        QVERIFY(window->downloadTable()->selectDownload(DownloadStatus::Paused));
        window->windowActions()->remove->trigger();
        QVERIFY(!window->downloads()->contains(DownloadStatus::Paused));
        QTRY_VERIFY(!window->downloadTable()->isShown(DownloadStatus::Paused));
        QCOMPARE(window->windowStatusBar()->currentMessage(),
                 QStringLiteral("Removed from the list. Downloaded and partial files are kept."));
        // The selection moves to the neighbour, the one below, or above from the last row.
        QCOMPARE(window->selectedId(), DownloadStatus::Completed);
        QVERIFY(window->downloadTable()->selectDownload(everyStatus.constLast()));
        window->windowActions()->remove->trigger();
        QTRY_VERIFY(!window->downloadTable()->isShown(everyStatus.constLast()));
        QCOMPARE(window->selectedId(), everyStatus.at(everyStatus.size() - 2));
    }

    // A right click below the last row keeps the selection, where a real press used to clear it;
    // one on a row selects that row.
    void rightClickOnEmptySpaceKeepsTheSelection()
    {
        const auto window = makeWindow();
        for (const QString &id : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
            window->downloads()->addDownload(download(id, DownloadStatus::Paused));
        window->resize(1080, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        DownloadTable *table = window->downloadTable();
        QVERIFY(table->selectDownload(QStringLiteral("b")));
        const QPoint below(10, table->rowViewportPosition(2) + table->rowHeight(2) + 20);
        QVERIFY(below.y() < table->viewport()->height());
        QTest::mouseClick(table->viewport(), Qt::RightButton, {}, below);
        QCOMPARE(window->selectedId(), QStringLiteral("b"));
        QTest::mouseClick(table->viewport(), Qt::RightButton, {},
                          table->visualRect(table->model()->index(2, 0)).center());
        QCOMPARE(window->selectedId(), QStringLiteral("c"));
    }

    // Every button the keyboard reaches shows that it has the focus: the title bar's and the
    // dialogs', accent-filled ones included.
    void keyboardFocusShowsOnEveryButton()
    {
        const auto window = makeWindow();
        AddDialog add(window.get());
        CloseConfirmationDialog close(true, window.get());
        UpdateDialog update(window.get());
        QStringList unmarked;
        for (QWidget *top : QList<QWidget *>{window.get(), &add, &close, &update}) {
            top->show();
            QVERIFY(QTest::qWaitForWindowExposed(top));
            QApplication::setActiveWindow(top);
            QVERIFY(top->isActiveWindow());
            for (QAbstractButton *button : top->findChildren<QAbstractButton *>()) {
                if (!button->isVisibleTo(top) || button->focusPolicy() == Qt::NoFocus ||
                    button->window() != top)
                    continue;
                top->setFocus(Qt::OtherFocusReason);
                button->clearFocus();
                const QImage before = button->grab().toImage();
                // What moving the focus with Tab does; styles draw some marks only then.
                top->setAttribute(Qt::WA_KeyboardFocusChange);
                button->setFocus(Qt::TabFocusReason);
                if (!button->hasFocus() || button->grab().toImage() == before)
                    unmarked << top->objectName() + QLatin1Char('/') + button->objectName() + button->text();
            }
            top->hide();
        }
        QVERIFY2(unmarked.isEmpty(), qPrintable(unmarked.join(QStringLiteral(", "))));
    }

    void progressDelegatePaints_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<QColor>("start");
        QTest::addColumn<QColor>("end");
        const QColor track(Qt::yellow);
        const QColor highlight(Qt::blue);
        const QColor muted(Qt::green);
        QTest::newRow("half") << 50 << false << highlight << track;
        QTest::newRow("half, paused") << 50 << true << muted << track;
        QTest::newRow("complete") << 100 << false << highlight << highlight;
        QTest::newRow("not started") << 0 << false << track << track;
        QTest::newRow("unknown") << -1 << false << track << track;
    }

    void progressDelegatePaints()
    {
        QFETCH(int, percent);
        QFETCH(bool, paused);
        QFETCH(QColor, start);
        QFETCH(QColor, end);
        QTableWidget table(1, 1);
        auto *item = new QTableWidgetItem;
        item->setData(ProgressDelegate::percentRole, percent);
        item->setData(ProgressDelegate::pausedRole, paused);
        table.setItem(0, 0, item);
        ProgressDelegate delegate;

        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 130, 36);
        option.palette.setColor(QPalette::Midlight, Qt::yellow);
        option.palette.setColor(QPalette::Highlight, Qt::blue);
        option.palette.setColor(QPalette::Mid, Qt::green);
        option.palette.setColor(QPalette::Text, Qt::red);
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        delegate.paint(&painter, option, table.model()->index(0, 0));
        painter.end();

        const QRect bar = ProgressDelegate::barRect(option.rect, option.fontMetrics);
        QCOMPARE(bar.topLeft(), QPoint(9, 15));
        QCOMPARE(bar.height(), 6);
        QCOMPARE(image.pixelColor(bar.left() + 3, bar.center().y()), start);
        QCOMPARE(image.pixelColor(bar.right() - 3, bar.center().y()), end);
        // The percent is written in the text colour to the right of the bar.
        bool written = false;
        for (int x = bar.right() + 2; x < option.rect.right() - 7 && !written; ++x) {
            for (int y = 0; y < option.rect.height() && !written; ++y)
                written = image.pixelColor(x, y).red() > 200 && image.pixelColor(x, y).green() < 100;
        }
        QVERIFY(written);
    }

    void detailsFollowTheSelection()
    {
        const auto window = makeWindow();
        DownloadSnapshot snapshot =
            download(QStringLiteral("a"), DownloadStatus::Paused, QStringLiteral("<b>x<i>.iso"));
        snapshot.resumable = true;
        snapshot.received = 425;
        snapshot.error = QStringLiteral("Connection reset");
        snapshot.segments = {SegmentProgress{0, 499, 250}, SegmentProgress{500, 999, 175}};
        window->downloads()->addDownload(snapshot);
        window->refreshView();

        const DetailsPane *pane = window->detailsPane();
        const auto text = [pane](const QString &content) {
            const QList<QLabel *> labels = pane->findChildren<QLabel *>();
            return std::any_of(labels.cbegin(), labels.cend(),
                               [&content](const QLabel *label) { return label->text() == content; });
        };
        QVERIFY(text(QStringLiteral("<b>x<i>.iso")));
        QVERIFY(text(QStringLiteral("42.5%")));
        QVERIFY(text(QStringLiteral("425 B / 1000 B downloaded")));
        QVERIFY(text(QStringLiteral("2 parallel connections")));
        QVERIFY(text(QStringLiteral("Resume supported")));
        QVERIFY(text(QStringLiteral("Paused — your downloaded progress is saved.")));
        QVERIFY(text(QStringLiteral("Save to: /downloads/<b>x<i>.iso")));
        QVERIFY(text(QStringLiteral("https://example.com/a")));
        QVERIFY(text(QStringLiteral("Connection reset")));
        QCOMPARE(child<QLabel>(*pane, QStringLiteral("transferStatus"))->text(), DownloadStatus::Paused);
        const QList<QProgressBar *> &bars = pane->transferPage()->segmentBars();
        QCOMPARE(int(bars.size()), 2);
        QCOMPARE(bars.at(1)->value(), 350);
        QCOMPARE(bars.at(1)->toolTip(), QStringLiteral("175 B of 500 B"));

        // A report with fewer segments takes the surplus bars away.
        snapshot.status = DownloadStatus::Error;
        snapshot.segments = {SegmentProgress{0, 999, 425}};
        window->downloads()->onEngineUpdated(snapshot);
        QTRY_COMPARE(int(pane->transferPage()->segmentBars().size()), 1);
        QVERIFY(text(QStringLiteral("1 connection")));
        QCOMPARE(child<QLabel>(*pane, QStringLiteral("transferStatus"))->text(), DownloadStatus::Error);

        window->downloadTable()->clearSelection();
        QVERIFY(text(QStringLiteral("Select a download to view its details")));
        QVERIFY(!child<QLabel>(*pane, QStringLiteral("transferStatus"))->isVisibleTo(window.get()));
        QVERIFY(!child<QLabel>(*pane, QStringLiteral("transferError"))->isVisibleTo(window.get()));
        QVERIFY(!text(QStringLiteral("https://example.com/a")));
        QCOMPARE(int(pane->transferPage()->segmentBars().size()), 0);
    }

    // The overall limit from the Downloads menu (a preset, one's own, off), shown in the status bar;
    // a download's own from its context menu.
    void speedLimitsFromTheMenus()
    {
        const auto window = makeWindow();
        DownloadList *list = window->downloads();
        QVERIFY(list->addDownload(download(QStringLiteral("a"), DownloadStatus::Paused)));
        window->refreshView();
        auto *overall = child<SpeedLimitMenu>(*window, QStringLiteral("overallSpeedLimitMenu"));
        const auto *indicator = child<QLabel>(*window, QStringLiteral("speedLimitLabel"));
        const auto choose = [](QMenu *menu, const QString &text) {
            const QList<QAction *> entries = menu->actions();
            (*std::find_if(entries.begin(), entries.end(), [&](QAction *entry) {
                return entry->text() == text;
            }))->trigger();
        };
        QVERIFY(indicator->isHidden());
        choose(overall, QStringLiteral("2 MB/s"));
        QCOMPARE(list->overallSpeedLimit(), 2 * 1024 * 1024);
        QTRY_COMPARE(indicator->text(), QStringLiteral("Limit 2 MB/s"));
        QVERIFY(!indicator->isHidden());

        ModalDialogs::answerNext([](QDialog &dialog) {
            static_cast<TextEntryDialog &>(dialog).field()->setText(QStringLiteral("1.5m"));
            return int(QDialog::Accepted);
        });
        overall->customAction()->trigger();
        QCOMPARE(list->overallSpeedLimit(), 3 * 512 * 1024);
        QTRY_COMPARE(indicator->text(), QStringLiteral("Limit 1.5 MB/s"));
        QVERIFY(overall->customAction()->isChecked());
        QCOMPARE(overall->customAction()->text(), QStringLiteral("Custom (1.5 MB/s)…"));
        choose(overall, QStringLiteral("Off"));
        QTRY_VERIFY(indicator->isHidden());

        answerContextMenu([&] { window->requestContextMenuForCurrentRow(); },
                          [&](DownloadContextMenu &menu) {
                              choose(menu.speedLimitMenu(), QStringLiteral("512 KB/s"));
                              return nullptr;
                          });
        QCOMPARE(list->entry(QStringLiteral("a"))->snapshot.speedLimit, 512 * 1024);
    }

    // A browser download for the file of a paused one asks first whether that one should take its
    // link; for a completed one it does not. Either way the browser's is offered under a free name,
    // in a dialog over the window (a compositor places one that belongs to no window anywhere),
    // as the window's own add dialog is.
    void browserRequestForAStoppedDownloadsFile()
    {
        QSettings().setValue(QStringLiteral("downloadFolder"), environment.scratch());
        const auto window = makeWindow();
        for (const QString &status : {DownloadStatus::Paused, DownloadStatus::Completed}) {
            DownloadSnapshot existing = download(status, status);
            existing.destination = environment.scratch() + QLatin1Char('/') + status + QStringLiteral(".iso");
            QVERIFY(window->downloads()->addDownload(existing));
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QString stray = QStringLiteral("a dialog not over the window");
        QStringList asked;
        const auto note = [&](QDialog &dialog) {
            if (auto *box = qobject_cast<QMessageBox *>(&dialog)) {
                asked << box->text();
                return int(QMessageBox::No);
            }
            asked << (dialog.windowHandle()->transientParent() == window->windowHandle()
                          ? dialog.findChild<QLineEdit *>(QStringLiteral("downloadName"))->text()
                          : stray);
            return decline(dialog);
        };
        for (int answers = 0; answers < 4; ++answers)
            ModalDialogs::answerNext(note);
        window->handleBridgeRequest(
            browserRequest(QStringLiteral("7"), DownloadStatus::Paused + QStringLiteral(".iso")));
        window->handleBridgeRequest(
            browserRequest(QStringLiteral("8"), DownloadStatus::Completed + QStringLiteral(".iso")));
        QTRY_COMPARE(ModalDialogs::pendingAnswers(), 1);
        window->windowActions()->addUrl->trigger();
        QCOMPARE(asked.size(), 4);
        QVERIFY(asked.at(0).contains(environment.scratch() + QStringLiteral("/Paused.iso")));
        QCOMPARE(asked.mid(1, 2),
                 (QStringList{QStringLiteral("Paused (1).iso"), QStringLiteral("Completed (1).iso")}));
        QVERIFY(asked.at(3) != stray);
    }

    void headerAndStatusBarTotals()
    {
        const auto window = makeWindow();
        DownloadSnapshot fast = download(QStringLiteral("fast"), DownloadStatus::Downloading);
        fast.speed = 1024;
        DownloadSnapshot slow = download(QStringLiteral("slow"), DownloadStatus::Retrying);
        slow.speed = 512;
        for (const DownloadSnapshot &snapshot :
             {fast, slow, download(QStringLiteral("done"), DownloadStatus::Completed)})
            window->downloads()->addDownload(snapshot);
        window->categorySidebar()->setCurrentRow(4);

        const auto *speedLabel = child<QLabel>(*window, QStringLiteral("speedLabel"));
        const auto *headerLabel = child<QLabel>(*window, QStringLiteral("headerLabel"));
        QCOMPARE(headerLabel->text(), QStringLiteral("Completed  ·  1 item"));
        QCOMPARE(window->windowStatusBar()->summary(),
                 QStringLiteral("3 downloads · 2 active · Progress saved automatically"));
        // The total speed counts every download, whatever the category shows.
        QCOMPARE(speedLabel->text(), QStringLiteral("↓ 1.5 KB/s"));

        fast.status = DownloadStatus::Paused;
        fast.speed = 0;
        window->downloads()->onEngineUpdated(fast);
        QTRY_COMPARE(speedLabel->text(), QStringLiteral("↓ 512 B/s"));
        QCOMPARE(window->windowStatusBar()->summary(),
                 QStringLiteral("3 downloads · 1 active · Progress saved automatically"));
        QVERIFY(window->windowActions()->pauseAll->isEnabled());
    }

    // A progress report rewrites the cells of its own row and nothing else: no other row, no
    // change of the row set, and one refresh for however many reports arrive in one pass.
    void reportsTouchOnlyTheirRow()
    {
        const auto window = makeWindow();
        for (int i = 0; i < 50; ++i)
            window->downloads()->addDownload(
                download(QStringLiteral("d%1").arg(i), DownloadStatus::Downloading));
        window->refreshView();
        QAbstractItemModel *model = window->downloadTable()->model();
        QSignalSpy structure(model, &QAbstractItemModel::layoutChanged);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changedCells(model, &QAbstractItemModel::dataChanged);

        DownloadSnapshot report = download(QStringLiteral("d7"), DownloadStatus::Downloading);
        for (int tick = 1; tick <= 5; ++tick) {
            report.received = 250 + tick * 100;
            report.speed = 1000 * tick;
            window->downloads()->onEngineUpdated(report);
        }
        QTRY_COMPARE(cellText(*window, 7, DownloadTable::SpeedColumn), QStringLiteral("4.9 KB/s"));
        QCOMPARE(structure.count() + inserted.count() + removed.count(), 0);
        QSet<int> columns;
        for (const QList<QVariant> &arguments : std::as_const(changedCells)) {
            const auto topLeft = arguments.at(0).value<QModelIndex>();
            const auto bottomRight = arguments.at(1).value<QModelIndex>();
            QCOMPARE(topLeft.row(), 7);
            QCOMPARE(bottomRight.row(), 7);
            QVERIFY2(!columns.contains(topLeft.column()) || topLeft.column() == DownloadTable::ProgressColumn,
                     "a cell was written twice: the reports were not coalesced");
            columns.insert(topLeft.column());
        }
        QVERIFY(columns.contains(DownloadTable::RemainingColumn));
        QVERIFY(!columns.contains(DownloadTable::FileNameColumn));

        // Leaving the category moves the rows below it up.
        window->categorySidebar()->setCurrentRow(1);
        report.status = DownloadStatus::Paused;
        window->downloads()->onEngineUpdated(report);
        QTRY_COMPARE(window->downloadTable()->rowCount(), 49);
        QVERIFY(!window->downloadTable()->isShown(QStringLiteral("d7")));
        QCOMPARE(window->downloadTable()->idAt(7), QStringLiteral("d8"));
    }

    void languageSwitchRelabelsTheWindow()
    {
        const auto window = makeWindow();
        window->downloads()->addDownload(download(QStringLiteral("a"), DownloadStatus::AwaitingConfirmation));
        window->downloads()->addDownload(download(QStringLiteral("b"), DownloadStatus::Error));
        window->refreshView();
        QVERIFY(window->downloadTable()->selectDownload(QStringLiteral("b")));
        const int englishStatusWidth = window->downloadTable()->columnWidth(DownloadTable::StatusColumn);

        Localization::setLanguage(QStringLiteral("de"));
        const auto german = [](const char *english) {
            const QString translated = Localization::translate(QString::fromUtf8(english));
            if (translated == QString::fromUtf8(english))
                qWarning() << "no German text for" << english;
            return translated;
        };
        QCOMPARE(window->downloadTable()->horizontalHeaderItem(0)->text(), german("File name"));
        QCOMPARE(window->categorySidebar()->item(5)->text(), german("Errors"));
        QCOMPARE(cellText(*window, 0, DownloadTable::StatusColumn), german("Awaiting confirmation"));
        QCOMPARE(window->windowActions()->resume->text(), german("Retry"));
        QCOMPARE(window->windowActions()->remove->toolTip(),
                 german("Remove from the list; keep downloaded and partial files"));
        QCOMPARE(window->windowStatusBar()->summary(),
                 QStringLiteral("2 Downloads · 0 aktiv · Fortschritt wird automatisch gespeichert"));
        QCOMPARE(child<QLabel>(*window, QStringLiteral("headerLabel"))->text(),
                 QStringLiteral("Alle Dateien  ·  2 Elemente"));
        QCOMPARE(child<QLabel>(*window, QStringLiteral("transferStatus"))->text(), german("Error"));
        QCOMPARE(window->detailsPane()->tabText(1), german("File details"));
        QCOMPARE(window->findChild<QMenuBar *>()->actions().at(0)->text(), german("&File"));
        // Every status name of the language fits its column.
        const QFontMetrics metrics(window->downloadTable()->font());
        QVERIFY(window->downloadTable()->columnWidth(DownloadTable::StatusColumn) >=
                metrics.horizontalAdvance(german("Awaiting confirmation")));
        QVERIFY(window->downloadTable()->columnWidth(DownloadTable::StatusColumn) >= englishStatusWidth);

        Localization::setLanguage(QStringLiteral("en"));
        QCOMPARE(window->windowActions()->resume->text(), QStringLiteral("Retry"));
        QCOMPARE(cellText(*window, 0, DownloadTable::StatusColumn), DownloadStatus::AwaitingConfirmation);
    }

    // Measured the way the views measure themselves (style sheet padding included), not with the
    // arithmetic the window sizes its columns by: a translation that outgrows its place shows. The
    // tool bar and the Transfer page with sixteen segments are measured the same way.
    void everyLanguageFitsItsColumns_data()
    {
        QTest::addColumn<QString>("language");
        for (const QString &code : TranslationRules::languageCodes())
            QTest::newRow(qPrintable(code)) << code;
    }

    void everyLanguageFitsItsColumns()
    {
        QFETCH(QString, language);
        const auto window = makeWindow();
        addEveryStatus(*window);
        // Running, and paused on a server that cannot resume: the longest lines the page shows.
        const QStringList segmented = {DownloadStatus::Downloading, DownloadStatus::Paused};
        for (const QString &status : segmented) {
            DownloadSnapshot snapshot =
                download(status + QStringLiteral(" 16"), status,
                         status + QStringLiteral("-ubuntu-24.04.1-desktop-amd64.iso"));
            snapshot.total = 6'000'000'000;
            snapshot.received = 2'500'000'000;
            snapshot.speed = status == DownloadStatus::Paused ? 0 : 12.5 * 1024 * 1024;
            for (qint64 i = 0; i < 16; ++i)
                snapshot.segments.append(SegmentProgress{i * 375'000'000, i * 375'000'000 + 374'999'999, 1});
            window->downloads()->addDownload(snapshot);
        }
        window->refreshView();
        window->resize(1080, 700);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        Localization::setLanguage(language);
        QCoreApplication::processEvents();
        DownloadTable *table = window->downloadTable();
        QHeaderView *header = table->horizontalHeader();
        // The last section stretches to the table's edge; its header alone must fit.
        for (int column = 0; column < DownloadTable::ColumnCount; ++column)
            QVERIFY2(header->sectionSizeHint(column) <= table->columnWidth(column),
                     qPrintable(table->horizontalHeaderItem(column)->text()));
        // The unknown status is the engine's word, not the language's; it may be elided.
        table->setRowHidden(everyStatus.indexOf(unknownStatus), true);
        const QAbstractItemView *view = table;
        QVERIFY(view->sizeHintForColumn(DownloadTable::StatusColumn) <=
                table->columnWidth(DownloadTable::StatusColumn));
        // At the default size no column hides behind a scroll bar.
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        CategorySidebar *sidebar = window->categorySidebar();
        QVERIFY(sidebar->sizeHintForColumn(0) <= sidebar->viewport()->width());

        // Relabelling the start command ("Start", "Retry", "Resume") moves no other button, and the
        // label fits its button.
        const auto *toolBar = window->findChild<QToolBar *>();
        const WindowActions *actions = window->windowActions();
        QList<int> places;
        for (const QString &id : {DownloadStatus::Queued, DownloadStatus::Error, DownloadStatus::Paused}) {
            QVERIFY(table->selectDownload(id));
            QCoreApplication::processEvents();
            const QWidget *resume = toolBar->widgetForAction(actions->resume);
            QVERIFY2(resume->width() >= resume->sizeHint().width(), qPrintable(actions->resume->text()));
            places << toolBar->widgetForAction(actions->openFolder)->x();
        }
        QCOMPARE(places, QList<int>(3, places.first()));

        // Sixteen segments share their row: nothing of the page runs past the pane's edge or is cut.
        TransferPage *page = window->detailsPane()->transferPage();
        const QWidget *viewport = page->parentWidget();
        for (const QString &status : segmented) {
            QVERIFY(table->selectDownload(status + QStringLiteral(" 16")));
            QCoreApplication::processEvents();
            QCOMPARE(int(page->segmentBars().size()), 16);
            QStringList cut;
            for (const QWidget *widget : page->findChildren<QWidget *>()) {
                const auto *label = qobject_cast<const QLabel *>(widget);
                if (widget->isVisibleTo(page) &&
                    (widget->mapTo(viewport, QPoint(widget->width(), 0)).x() > viewport->width() ||
                     widget->width() < 1 ||
                     (label && !label->wordWrap() && label->width() < label->sizeHint().width())))
                    cut << (label ? label->text() : widget->metaObject()->className());
            }
            QVERIFY2(cut.isEmpty(),
                     qPrintable(status + QStringLiteral(": ") + cut.join(QStringLiteral(" | "))));
        }
        Localization::setLanguage(QStringLiteral("en"));
    }

    void geometryFromBadInput_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QSize>("size");
        const QSize fallback = QSize(1080, 700).boundedTo(QGuiApplication::primaryScreen()->availableSize());
        const auto savedAt = [](const QRect &geometry) {
            QWidget window;
            window.setGeometry(geometry);
            return window.saveGeometry();
        };
        QTest::newRow("sound") << savedAt(QRect(20, 30, 790, 510)) << QSize(790, 510);
        QTest::newRow("cut short after its header")
            << QByteArray("\x01\xd9\xd0\xcb\x00\x03\x00\x00garbage", 15) << fallback;
        QTest::newRow("text") << QByteArray("not a geometry at all") << fallback;
        QTest::newRow("off every screen") << savedAt(QRect(40000, 40000, 900, 600)) << fallback;
    }

    void geometryFromBadInput()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QSize, size);
        QSettings().setValue(QStringLiteral("geometry"), stored);
        const auto window = makeWindow();
        QCOMPARE(window->size(), size);
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(available.intersected(window->geometry()).width() >= 100);
    }

    // Long, right-to-left and emoji names keep every row at the same height, and a name with no
    // place to break does not widen the window.
    void namesThatDoNotFit()
    {
        const auto window = makeWindow();
        const QString names[] = {QString(300, QLatin1Char('n')) + QStringLiteral(".bin"),
                                 QStringLiteral("تقرير المبيعات السنوي ٢٠٢٤.pdf"),
                                 QStringLiteral("holiday 🏖️🌊 photos 👨‍👩‍👧.zip")};
        for (int i = 0; i < 3; ++i)
            window->downloads()->addDownload(
                download(QStringLiteral("n%1").arg(i), DownloadStatus::Paused, names[i]));
        window->resize(1080, 700);
        window->show();
        window->refreshView();
        QVERIFY(window->downloadTable()->selectDownload(QStringLiteral("n0")));
        QCoreApplication::processEvents();
        for (int row = 0; row < 3; ++row)
            QCOMPARE(window->downloadTable()->rowHeight(row), 36);
        QVERIFY(window->minimumSizeHint().width() <= 1080);
        QCOMPARE(window->width(), 1080);
    }

    void helpMenuRunsTheDialogs()
    {
        const auto window = makeWindow();
        QString shown;
        const auto record = [&shown, &window](QDialog &dialog) {
            shown = dialog.objectName();
            if (dialog.parentWidget() != window.get())
                shown += QStringLiteral(" without the window as parent");
            return int(QDialog::Rejected);
        };
        ModalDialogs::answerNext(record);
        window->windowActions()->about->trigger();
        QCOMPARE(shown, QStringLiteral("rushletAbout"));

        ModalDialogs::answerNext([&](QDialog &dialog) {
            shown = qobject_cast<BrowserSetup *>(&dialog) ? QStringLiteral("setup") : dialog.objectName();
            return int(QDialog::Rejected);
        });
        window->windowActions()->installChromeExtension->trigger();
        QCOMPARE(shown, QStringLiteral("setup"));
        QCOMPARE(ModalDialogs::pendingAnswers(), 0);
    }

    // The toolbar's "Open in folder" acts on the selected download: with no file and no folder
    // there yet, the folder cannot be opened.
    void openInFolderActsOnTheSelection()
    {
        const auto window = makeWindow();
        window->downloads()->addDownload(download(QStringLiteral("a"), DownloadStatus::Queued));
        window->refreshView();
        QString title;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            title = dialog.windowTitle();
            return int(QMessageBox::Ok);
        });
        window->windowActions()->openFolder->trigger();
        QCOMPARE(title, QStringLiteral("Cannot open folder"));
    }

    // Without a tray (as on this platform) a stored "tray" asks, offering no tray; a cancelled
    // question leaves the window open and nothing saved.
    void closeWithoutATrayAsks()
    {
        QSettings().setValue(QStringLiteral("closeBehavior"), QStringLiteral("tray"));
        const auto window = makeWindow();
        window->downloads()->addDownload(download(QStringLiteral("a"), DownloadStatus::Paused));
        window->show();
        QStringList buttons;
        ModalDialogs::answerNext([&](QDialog &dialog) {
            for (const QPushButton *button : dialog.findChildren<QPushButton *>())
                buttons << button->text();
            return int(QDialog::Rejected);
        });
        window->close();
        QCOMPARE(buttons, QStringList({QStringLiteral("Cancel"), QStringLiteral("Quit Rushlet")}));
        QVERIFY(window->isVisible());
        QVERIFY(!window->shuttingDown());
        QVERIFY(environment.savedQueue().isEmpty());
        QSettings().remove(QStringLiteral("closeBehavior"));
    }

    // However the program ends, the application's last signal pauses the downloads and saves.
    void quittingPausesAndSaves()
    {
        auto window = makeWindow();
        DownloadSnapshot running = download(QStringLiteral("a"), DownloadStatus::Paused);
        running.destination = environment.scratch() + QStringLiteral("/a.bin");
        window->downloads()->addDownload(running);
        window->downloads()->startDownload(QStringLiteral("a"));
        QTRY_COMPARE(window->downloads()->entry(QStringLiteral("a"))->snapshot.status,
                     DownloadStatus::Downloading);

        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit"));
        QVERIFY(window->shuttingDown());
        // The engine's pause had written its resume state before the list was saved.
        QVERIFY(QFile::exists(StandInEngine::checkpointPath(running.destination)));
        const QJsonArray saved = environment.savedQueue();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().toObject().value(QStringLiteral("status")).toString(), DownloadStatus::Paused);
        QVERIFY(!QSettings().value(QStringLiteral("geometry")).toByteArray().isEmpty());
    }

private:
    TestEnvironment environment;
};

QTEST_MAIN(TestWindowView)
#include "tst_WindowView.moc"
