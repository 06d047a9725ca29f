#include "queue/window/WindowActions.h"

#include "engine/DownloadSnapshot.h"
#include "engine/DownloadStatus.h"
#include "i18n/Localization.h"
#include "queue/actions/DownloadNotifier.h"
#include "queue/view/ViewRules.h"
#include "ui/RushletIcons.h"

#include <QAction>
#include <QKeySequence>
#include <QToolBar>
#include <QWidget>

namespace {

// Added to the window as well as to its bars, so that shortcuts work wherever the focus is in it.
QAction *createAction(QWidget *window, const QString &text)
{
    auto *action = new QAction(text, window);
    window->addAction(action);
    return action;
}

QAction *createAction(QWidget *window, IconKind icon, const QString &text)
{
    QAction *action = createAction(window, text);
    action->setIcon(RushletIcons::icon(icon));
    return action;
}

} // namespace

WindowActions::WindowActions(QWidget *window)
    : QObject(window)
    , addUrl(createAction(window, IconKind::Add, QStringLiteral("Add URL")))
    , resume(createAction(window, IconKind::Play, QStringLiteral("Resume")))
    , pause(createAction(window, IconKind::Pause, QStringLiteral("Pause")))
    , remove(createAction(window, IconKind::Trash, QStringLiteral("Remove")))
    , pauseAll(createAction(window, IconKind::Pause, QStringLiteral("Pause all")))
    , openFolder(createAction(window, IconKind::Folder, QStringLiteral("Open in folder")))
    , exit(createAction(window, QStringLiteral("E&xit")))
    , showDetails(createAction(window, QStringLiteral("Show details pane")))
    , notifyWhenFinished(createAction(window, QStringLiteral("Notify when downloads finish")))
    , checkForUpdates(createAction(window, QStringLiteral("Check for Updates")))
    , installChromeExtension(createAction(window, QStringLiteral("Set up browsers…")))
    , about(createAction(window, QStringLiteral("About Rushlet")))
{
    addUrl->setObjectName(QStringLiteral("addUrl"));
    addUrl->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    resume->setObjectName(QStringLiteral("resumeDownload"));
    pause->setObjectName(QStringLiteral("pauseDownload"));
    remove->setObjectName(QStringLiteral("removeDownload"));
    remove->setToolTip(QStringLiteral("Remove from the list; keep downloaded and partial files"));
    remove->setShortcut(QKeySequence::Delete);
    pauseAll->setObjectName(QStringLiteral("pauseAll"));
    openFolder->setObjectName(QStringLiteral("openFolder"));
    exit->setObjectName(QStringLiteral("exitApplication"));
    showDetails->setObjectName(QStringLiteral("showDetailsPane"));
    showDetails->setCheckable(true);
    showDetails->setChecked(true);
    notifyWhenFinished->setObjectName(QStringLiteral("notifyWhenFinished"));
    notifyWhenFinished->setCheckable(true);
    notifyWhenFinished->setChecked(DownloadNotifier::isEnabled());
    connect(notifyWhenFinished, &QAction::toggled, this, &DownloadNotifier::setEnabled);
    checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
    installChromeExtension->setObjectName(QStringLiteral("installChromeExtension"));
    about->setObjectName(QStringLiteral("aboutRushlet"));
    update(nullptr, false);
}

void WindowActions::update(const DownloadSnapshot *selected, bool anyActive)
{
    const QString status = selected ? selected->status : QString();
    resume->setText(Localization::translate(ViewRules::startLabel(status)));
    resume->setEnabled(selected && ViewRules::canStart(status));
    pause->setEnabled(selected && ViewRules::canPause(status));
    remove->setEnabled(selected != nullptr);
    openFolder->setEnabled(selected != nullptr);
    pauseAll->setEnabled(anyActive);
}

void WindowActions::reserveStartLabelWidth(QToolBar *toolBar) const
{
    QWidget *button = toolBar->widgetForAction(resume);
    if (button == nullptr)
        return;
    const QFontMetrics metrics(button->font());
    int widest = 0;
    for (const QString &status : {DownloadStatus::Queued, DownloadStatus::Error, DownloadStatus::Paused})
        widest = std::max(widest,
                          metrics.horizontalAdvance(Localization::translate(ViewRules::startLabel(status))));
    // The button's own measure holds its icon, padding and current label; only the label varies.
    button->setMinimumWidth(button->sizeHint().width() - metrics.horizontalAdvance(resume->text()) + widest);
}
