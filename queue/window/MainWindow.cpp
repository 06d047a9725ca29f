#include "queue/window/MainWindow.h"

#include "bridge/intake/BrowserIntake.h"
#include "bridge/protocol/BridgeProtocol.h"
#include "bridge/setup/BrowserSetup.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "platform/SleepInhibitor.h"
#include "queue/actions/AddressChangeFlow.h"
#include "queue/actions/DownloadContextMenu.h"
#include "queue/actions/DownloadNotifier.h"
#include "queue/actions/FileActions.h"
#include "queue/actions/SpeedLimitMenu.h"
#include "queue/adding/AddDownloadFlow.h"
#include "queue/adding/BrowserConfirmation.h"
#include "queue/closing/CloseBehaviorMenu.h"
#include "queue/closing/CloseHandling.h"
#include "queue/closing/TrayIcon.h"
#include "queue/list/DownloadList.h"
#include "queue/list/QueueRules.h"
#include "queue/view/SavedGeometry.h"
#include "queue/view/ViewRules.h"
#include "queue/window/CategorySidebar.h"
#include "queue/window/DetailsPane.h"
#include "queue/window/DownloadTable.h"
#include "queue/window/WindowActions.h"
#include "queue/window/WindowStatusBar.h"
#include "queue/window/WindowStyle.h"
#include "ui/AboutDialog.h"
#include "ui/ColourScheme.h"
#include "ui/ModalDialogs.h"
#include "ui/PopupMenu.h"
#include "ui/RushletIcons.h"
#include "ui/WindowFrame.h"
#include "update/UpdateChecker.h"
#include "update/UpdateSource.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString geometryKey = QStringLiteral("geometry");
constexpr QSize defaultSize(1080, 700);
constexpr QSize minimumWindowSize(780, 500);
// How much of a restored window must lie on some screen for the user to reach it.
constexpr int reachableEdge = 100;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(DownloadList::EngineFactory(), parent)
{
}

MainWindow::MainWindow(DownloadList::EngineFactory engineFactory, QWidget *parent)
    : QMainWindow(parent)
    , frame(new WindowFrame(this))
    , list(engineFactory ? new DownloadList(std::move(engineFactory), this) : new DownloadList(this))
    , actions(new WindowActions(this))
{
    setWindowTitle(QStringLiteral("Rushlet Download Manager"));
    setWindowIcon(RushletIcons::appIcon());
    resize(defaultSize);
    setMinimumSize(minimumWindowSize);

    buildWidgets();
    Localization::bind(this);
    fitToTexts();
    // After the binding, whose closures restore bound texts first.
    connect(Localization::instance(), &Localization::changed, this, [this] {
        table->invalidateTexts();
        fitToTexts();
        refreshView();
    });
    restoreSavedGeometry();
    connectParts();
    connectAddingDownloads();
    connectDownloadActions();
    // After the binding: the tray's menu and the submenu translate themselves.
    buildTrayAndCloseMenu();
    list->loadQueue();
    refreshView();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::shutdown);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWidgets()
{
    buildToolBar();

    auto *sides = new QSplitter(Qt::Horizontal, this);
    sides->setObjectName(QStringLiteral("sidebarSplitter"));
    sides->setChildrenCollapsible(false);
    categories = new CategorySidebar(sides);

    auto *right = new QWidget(sides);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    headerLabel = new QLabel(right);
    headerLabel->setObjectName(QStringLiteral("headerLabel"));
    headerLabel->setMargin(13);
    rightLayout->addWidget(headerLabel);
    auto *tableAndDetails = new QSplitter(Qt::Vertical, right);
    tableAndDetails->setObjectName(QStringLiteral("detailsSplitter"));
    tableAndDetails->setChildrenCollapsible(false);
    table = new DownloadTable(tableAndDetails);
    details = new DetailsPane(tableAndDetails);
    tableAndDetails->setSizes({340, 240});
    rightLayout->addWidget(tableAndDetails, 1);
    sides->setSizes({180, 900});
    setCentralWidget(sides);

    statusArea = new WindowStatusBar(this);
    setStatusBar(statusArea);
    frame->installTitleBar(buildMenuBar());

    // File names, addresses and server messages are text, never markup.
    for (QLabel *label : findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    applyStyle();
}

void MainWindow::fitToTexts()
{
    categories->fitToTexts();
    table->fitColumnsToTexts();
    actions->reserveStartLabelWidth(toolBar);
}

void MainWindow::buildToolBar()
{
    toolBar = addToolBar(QStringLiteral("Downloads"));
    toolBar->setObjectName(QStringLiteral("downloadToolBar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->setIconSize(QSize(16, 16));
    // The bar is always there; the window's context menu must not offer to hide it.
    toolBar->toggleViewAction()->setVisible(false);
    toolBar->addAction(actions->addUrl);
    toolBar->addSeparator();
    toolBar->addActions({actions->resume, actions->pause, actions->remove});
    toolBar->addSeparator();
    toolBar->addActions({actions->pauseAll, actions->openFolder});
}

QMenuBar *MainWindow::buildMenuBar()
{
    auto *bar = new QMenuBar(this);
    const auto addMenu = [bar](const QString &title, const QString &objectName) {
        auto *menu = new PopupMenu(title, bar);
        menu->setObjectName(objectName);
        bar->addMenu(menu);
        return menu;
    };

    PopupMenu *file = addMenu(QStringLiteral("&File"), QStringLiteral("fileMenu"));
    file->addAction(actions->addUrl);
    file->addSeparator();
    file->addAction(actions->exit);

    PopupMenu *downloadsMenu = addMenu(QStringLiteral("&Downloads"), QStringLiteral("downloadsMenu"));
    downloadsMenu->addActions({actions->resume, actions->pause, actions->pauseAll});
    downloadsMenu->addMenu(SpeedLimitMenu::overall(*list, downloadsMenu));
    downloadsMenu->addSeparator();
    downloadsMenu->addAction(actions->openFolder);
    downloadsMenu->addSeparator();
    downloadsMenu->addAction(actions->remove);

    viewMenuPopup = addMenu(QStringLiteral("&View"), QStringLiteral("viewMenu"));
    viewMenuPopup->addActions({actions->showDetails, actions->notifyWhenFinished});
    viewMenuPopup->addSeparator();
    Localization::populateLanguageMenu(viewMenuPopup);

    PopupMenu *help = addMenu(QStringLiteral("&Help"), QStringLiteral("helpMenu"));
    help->addAction(actions->checkForUpdates);
    help->addSeparator();
    help->addAction(actions->installChromeExtension);
    help->addSeparator();
    help->addAction(actions->about);
    return bar;
}

void MainWindow::connectParts()
{
    sleepInhibitor = new SleepInhibitor(this);
    connect(list, &DownloadList::statusMessage, this,
            [this](const QString &text, int timeoutMs, const QStringList &arguments) {
                QString shown = Localization::translate(text);
                for (const QString &argument : arguments)
                    shown = shown.arg(argument);
                statusArea->showNotice(shown, timeoutMs);
            });
    connect(list, &DownloadList::downloadUpdated, this, [this](const QString &id) {
        reportedIds.insert(id);
        reportAnnounced = true;
        scheduleRefresh();
    });
    connect(list, &DownloadList::changed, this, [this] {
        // The change that follows a report is that report; anything else may touch any row.
        if (!std::exchange(reportAnnounced, false))
            fullPassPending = true;
        scheduleRefresh();
    });

    connect(categories, &QListWidget::currentRowChanged, this, &MainWindow::refreshView);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] {
        updateDetails();
        updateActions();
    });
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int row) { toggleRow(row); });
    connect(table, &QWidget::customContextMenuRequested, this, &MainWindow::contextMenuRequested);
    auto *contextMenuKey = new QShortcut(QKeySequence(QStringLiteral("Shift+F10")), table);
    contextMenuKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(contextMenuKey, &QShortcut::activated, this, &MainWindow::requestContextMenuForCurrentRow);

    connect(actions->resume, &QAction::triggered, this, [this] { invokeOnSelected(Command::Start); });
    connect(actions->pause, &QAction::triggered, this, [this] { invokeOnSelected(Command::Pause); });
    connect(actions->remove, &QAction::triggered, this, &MainWindow::removeSelected);
    connect(actions->pauseAll, &QAction::triggered, this, &MainWindow::pauseAll);
    connect(actions->exit, &QAction::triggered, this, [this] {
        shutdown();
        close();
        QCoreApplication::quit();
    });
    connect(actions->showDetails, &QAction::toggled, details, &QWidget::setVisible);
    connect(actions->checkForUpdates, &QAction::triggered, this, [this] { checkForUpdates(true); });
    connect(actions->installChromeExtension, &QAction::triggered, this,
            &MainWindow::showChromeExtensionSetup);
    connect(actions->about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::applyStyle()
{
    const WindowStyle::Colours colours =
        WindowStyle::colours(ColourScheme::isDark(palette()), palette().color(QPalette::Text));
    setStyleSheet(WindowStyle::windowSheet(colours));
    toolBar->setStyleSheet(WindowStyle::toolBarSheet(colours));
    details->setStyleSheet(WindowStyle::inspectorSheet(colours));
}

void MainWindow::restoreSavedGeometry()
{
    const QByteArray saved = QSettings().value(geometryKey).toByteArray();
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    if (SavedGeometry::isUsable(saved, screens, reachableEdge) && restoreGeometry(saved))
        return;
    // Nothing stored, unreadable, or nowhere the user could reach it: the default size, centred
    // on the primary screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect placed(QPoint(), defaultSize.boundedTo(screen->availableGeometry().size()));
        placed.moveCenter(screen->availableGeometry().center());
        setGeometry(placed);
    }
}

void MainWindow::shutdown()
{
    if (list->shuttingDown())
        return;
    list->shutdown();
    sleepInhibitor->setInhibited(false);
    if (updateChecker)
        updateChecker->shutDown();
    QSettings().setValue(geometryKey, saveGeometry());
    if (tray)
        tray->hide();
    emit shutdownFinished();
}

bool MainWindow::shuttingDown() const
{
    return list->shuttingDown();
}

QJsonObject MainWindow::handleBridgeRequest(const QJsonObject &request)
{
    if (shuttingDown())
        return BridgeProtocol::errorReply(QStringLiteral("Rushlet is closing."));
    const QJsonValue type = request.value(QStringLiteral("type"));
    if (type == QJsonValue(QStringLiteral("show"))) {
        showWindow();
        return {{QStringLiteral("ok"), true}};
    }
    if (type == QJsonValue(QStringLiteral("ping")))
        return {{QStringLiteral("ok"), true}};
    if (BridgeProtocol::isValidStatusRequest(request))
        return BrowserIntake::downloadState(*list, request);
    if (!BridgeProtocol::isValidDownloadRequest(request))
        return BridgeProtocol::errorReply(QStringLiteral("Invalid download URL."));
    const QString folder = BrowserIntake::downloadFolder();
    const QString stoppedThere = BrowserIntake::stoppedDownloadAtSameDestination(*list, request, folder);
    const QJsonObject reply = BrowserIntake::acceptDownload(*list, request, folder);
    if (reply.value(QStringLiteral("ok")).toBool()) {
        revealDownload(reply.value(QStringLiteral("id")).toString());
        if (!stoppedThere.isEmpty())
            confirmation->offerNewLink(reply.value(QStringLiteral("id")).toString(), stoppedThere);
        // After the reply: the browser must not wait for the user.
        confirmation->schedule();
    }
    return reply;
}

void MainWindow::connectAddingDownloads()
{
    // The window stays hidden after a start by the browser; the confirmation dialog shows without
    // it and brings it up once a download is confirmed.
    confirmation = new BrowserConfirmation(*list, addingHooks(), this);
    connect(this, &MainWindow::confirmationRequested, confirmation,
            &BrowserConfirmation::confirmAwaitingDownloads);
    connect(actions->addUrl, &QAction::triggered, this, &MainWindow::addDownloadByHand);
}

void MainWindow::addDownloadByHand()
{
    AddDownloadFlow(*list, addingHooks()).run();
}

MainWindowHooks MainWindow::addingHooks()
{
    return {this,
            [this](const QString &id) { revealDownload(id); },
            {},
            [this](const QString &id, const QUrl &url, const RequestContext &context,
                   std::function<void(bool)> done) {
                AddressChangeFlow::check(*list, id, url, this, std::move(done), context);
            }};
}

void MainWindow::offerAwaitingDownloads()
{
    confirmation->schedule();
}

void MainWindow::revealDownload(const QString &id)
{
    {
        // One refresh below, not a second one for the category change.
        const QSignalBlocker quietCategories(categories);
        categories->setCurrentRow(int(ViewRules::Category::AllFiles));
    }
    refreshView();
    table->selectDownload(id);
}

QString MainWindow::selectedId() const
{
    return table->selectedId();
}

void MainWindow::invokeOnSelected(Command command)
{
    const QString id = selectedId();
    const QueueEntry *entry = list->entry(id);
    if (entry == nullptr)
        return;
    if (entry->snapshot.status == DownloadStatus::AwaitingConfirmation) {
        emit confirmationRequested();
        return;
    }
    if (command == Command::Start)
        list->startDownload(id);
    else
        list->pauseDownload(id);
}

void MainWindow::toggleRow(int row)
{
    const QString id = table->idAt(row);
    const QueueEntry *entry = list->entry(id);
    if (entry == nullptr)
        return;
    const QString &status = entry->snapshot.status;
    if (status == DownloadStatus::Completed)
        return;
    if (status == DownloadStatus::AwaitingConfirmation)
        emit confirmationRequested();
    else if (QueueRules::isActiveStatus(status))
        list->pauseDownload(id);
    else
        list->startDownload(id);
}

void MainWindow::pauseAll()
{
    list->pauseAll();
}

void MainWindow::removeSelected()
{
    const QString id = selectedId();
    if (!id.isEmpty())
        list->removeDownload(id);
}

void MainWindow::checkForUpdates(bool showDialog)
{
    if (shuttingDown())
        return;
    // Made on first use: most runs never ask, and the silent check comes only after start-up.
    if (!updateChecker)
        updateChecker = new UpdateChecker(this, UpdateSource::feedUrl());
    updateChecker->check(showDialog);
}

void MainWindow::requestContextMenuForCurrentRow()
{
    const int row = table->currentRow();
    if (row < 0)
        return;
    emit contextMenuRequested(table->visualRect(table->model()->index(row, 0)).center());
}

void MainWindow::scheduleRefresh()
{
    if (refreshScheduled)
        return;
    refreshScheduled = true;
    QMetaObject::invokeMethod(this, &MainWindow::runScheduledRefresh, Qt::QueuedConnection);
}

void MainWindow::runScheduledRefresh()
{
    refreshScheduled = false;
    refreshRows(fullPassPending);
}

void MainWindow::refreshView()
{
    refreshRows(true);
}

void MainWindow::refreshRows(bool fullPass)
{
    const QString remembered = table->selectedId();
    const int rememberedRow = table->currentRow();
    const QSignalBlocker quietTable(table);
    const QStringList order = list->ids();
    const int category = categories->currentRow();
    bool full = fullPass || order != shownOrder || category != shownCategory;
    bool selectedChanged = false;

    if (!full) {
        for (const QString &id : std::as_const(reportedIds)) {
            const QueueEntry *entry = list->entry(id);
            // A download that enters or leaves the category moves other rows: a full pass.
            if (entry == nullptr ||
                ViewRules::matchesCategory(category, entry->snapshot.status) != table->isShown(id)) {
                full = true;
                break;
            }
            table->updateDownload(entry->snapshot);
            totals.update(entry->snapshot);
            selectedChanged = selectedChanged || id == remembered;
        }
    }
    if (full) {
        const QList<DownloadSnapshot> snapshots = list->snapshots();
        QList<DownloadSnapshot> shown;
        shown.reserve(snapshots.size());
        for (const DownloadSnapshot &snapshot : snapshots) {
            if (ViewRules::matchesCategory(category, snapshot.status))
                shown.append(snapshot);
        }
        table->showDownloads(shown);
        totals.reset(snapshots);
        shownOrder = order;
        shownCategory = category;
        selectedChanged = true;
    }
    reportedIds.clear();
    reportAnnounced = false;
    fullPassPending = false;

    // A download taken off the list leaves the selection on its neighbour; one that only left
    // the category shown leaves it on the first row.
    if (!table->selectDownload(remembered) && table->rowCount() > 0)
        table->selectRow(list->contains(remembered) || rememberedRow < 0
                             ? 0
                             : std::min(rememberedRow, table->rowCount() - 1));
    selectedChanged = selectedChanged || table->selectedId() != remembered;
    refreshSummary();
    if (selectedChanged)
        updateDetails();
    updateActions();
}

void MainWindow::refreshSummary()
{
    headerLabel->setText(
        Localization::translateCount(QStringLiteral("%1  ·  %n item|%1  ·  %n items"), table->rowCount())
            .arg(Localization::translate(categories->currentTitle())));
    statusArea->showTotals(list->count(), totals.activeCount(), totals.speed());
    statusArea->showSpeedLimit(list->overallSpeedLimit());
    sleepInhibitor->setInhibited(totals.activeCount() > 0 && !shuttingDown());
    updateTrayToolTip();
}

void MainWindow::updateDetails()
{
    const QueueEntry *entry = list->entry(selectedId());
    details->showDownload(entry ? &entry->snapshot : nullptr);
}

void MainWindow::updateActions()
{
    const QueueEntry *entry = list->entry(selectedId());
    actions->update(entry ? &entry->snapshot : nullptr, totals.activeCount() > 0);
}

void MainWindow::showAbout()
{
    AboutDialog dialog(this);
    ModalDialogs::run(dialog);
}

void MainWindow::showChromeExtensionSetup()
{
    BrowserSetup dialog(this);
    ModalDialogs::run(dialog);
}

void MainWindow::buildTrayAndCloseMenu()
{
    tray = new TrayIcon(this, {actions->addUrl, actions->pauseAll, actions->checkForUpdates, actions->exit,
                               SpeedLimitMenu::overall(*list, this)});
    viewMenuPopup->addSeparator();
    viewMenuPopup->addMenu(new CloseBehaviorMenu(viewMenuPopup));
}

void MainWindow::updateTrayToolTip()
{
    if (tray)
        tray->setToolTip(QStringLiteral("Rushlet\n") + statusArea->summary());
}

void MainWindow::showWindow()
{
    TrayIcon::showWindow(this);
}

void MainWindow::connectDownloadActions()
{
    connect(this, &MainWindow::contextMenuRequested, this, &MainWindow::showContextMenu);
    connect(actions->openFolder, &QAction::triggered, this, &MainWindow::openSelectedInFolder);
    notifier = new DownloadNotifier(
        *list, this,
        [this](const QString &id) {
            revealDownload(id);
            showWindow();
        },
        this);
}

void MainWindow::showContextMenu(const QPoint &position)
{
    const QTableWidgetItem *item = table->itemAt(position);
    if (item == nullptr)
        return;
    table->selectRow(item->row());
    DownloadContextMenu::run(*list, selectedId(), table->viewport()->mapToGlobal(position), this);
}

void MainWindow::openSelectedInFolder()
{
    if (const QueueEntry *entry = list->entry(selectedId()))
        FileActions::openInFolder(this, entry->snapshot.destination);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    switch (CloseHandling::decide(this, shuttingDown(), tray->isUsable())) {
    case CloseRules::Outcome::KeepOpen:
        event->ignore();
        break;
    case CloseRules::Outcome::HideToTray:
        hideToTray();
        event->ignore();
        break;
    case CloseRules::Outcome::Quit:
        shutdown();
        event->accept();
        break;
    }
}

void MainWindow::hideToTray()
{
    // A failed save reports itself in the status bar; the downloads go on either way.
    list->saveQueue();
    QSettings().setValue(geometryKey, saveGeometry());
    hide();
}
