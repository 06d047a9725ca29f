#include "queue/closing/TrayIcon.h"

#include "i18n/Localization.h"
#include "ui/PopupMenu.h"
#include "ui/RushletIcons.h"

#include <QApplication>
#include <QWidget>

TrayIcon::TrayIcon(QWidget *window, const WindowActions &actions)
    : QSystemTrayIcon(RushletIcons::appIcon(), window)
    , window(window)
    , trayMenu(new PopupMenu(window))
{
    setObjectName(QStringLiteral("rushletTrayIcon"));
    trayMenu->setObjectName(QStringLiteral("trayMenu"));
    showEntry = trayMenu->addAction(QString());
    showEntry->setObjectName(QStringLiteral("trayShow"));
    connect(showEntry, &QAction::triggered, this, [this] { showWindow(this->window); });
    trayMenu->setDefaultAction(showEntry);
    // The menu's style sheet draws every entry in the menu's font, so the default entry carries
    // its emphasis itself.
    QFont emphasis = showEntry->font();
    emphasis.setBold(true);
    showEntry->setFont(emphasis);
    trayMenu->addSeparator();
    trayMenu->addAction(actions.addUrl);
    trayMenu->addAction(actions.pauseAll);
    if (actions.speedLimit)
        trayMenu->addMenu(actions.speedLimit);
    trayMenu->addSeparator();
    trayMenu->addAction(actions.checkForUpdates);
    trayMenu->addAction(actions.exit);
    setContextMenu(trayMenu);

    connect(this, &QSystemTrayIcon::activated, this, [this](ActivationReason reason) {
        if (reason == Trigger || reason == DoubleClick)
            showWindow(this->window);
    });
    retranslate();
    connect(Localization::instance(), &Localization::changed, this, &TrayIcon::retranslate);
    // On X11 shown whether or not a tray is there now: Qt docks the icon when a tray starts later
    // and takes it away when the tray goes, while the window asks isUsable() before it hides into
    // it. Elsewhere Qt has no such watch to offer.
    setVisible(isSystemTrayAvailable() || QGuiApplication::platformName() == QLatin1String("xcb"));
}

bool TrayIcon::isUsable() const
{
    return isVisible() && isSystemTrayAvailable();
}

void TrayIcon::showWindow(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
    if (QWidget *dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void TrayIcon::retranslate()
{
    showEntry->setText(Localization::translate(QStringLiteral("Show Rushlet")));
}
