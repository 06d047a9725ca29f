#include "ui/WindowMenu.h"

#include "ui/RushletIcons.h"

WindowMenu::WindowMenu(QWidget *window, QWidget *parent)
    : PopupMenu(parent)
    , window(window)
    , restoreItem(addAction(RushletIcons::icon(IconKind::Restore), QStringLiteral("&Restore")))
    , minimizeItem(addAction(RushletIcons::icon(IconKind::Minimize), QStringLiteral("Mi&nimize")))
    , maximizeItem(addAction(RushletIcons::icon(IconKind::Maximize), QStringLiteral("Ma&ximize")))
{
    setObjectName(QStringLiteral("rushletWindowMenu"));
    addSeparator();
    closeItem = addAction(RushletIcons::icon(IconKind::Close), QStringLiteral("&Close"));
    connect(restoreItem, &QAction::triggered, window, &QWidget::showNormal);
    connect(minimizeItem, &QAction::triggered, window, &QWidget::showMinimized);
    connect(maximizeItem, &QAction::triggered, window, &QWidget::showMaximized);
    connect(closeItem, &QAction::triggered, window, &QWidget::close);
    connect(this, &QMenu::aboutToShow, this, &WindowMenu::refresh);
    refresh();
}

void WindowMenu::refresh()
{
    restoreItem->setEnabled(window->isMaximized() || window->isFullScreen());
    maximizeItem->setEnabled(!window->isMaximized());
}
