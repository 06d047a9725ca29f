#include "ui/WindowFrame.h"

#include "platform/FramelessWindowAgent.h"
#include "ui/CaptionButton.h"
#include "ui/ColourScheme.h"
#include "ui/PopupMenu.h"
#include "ui/RushletIcons.h"
#include "ui/WindowMenu.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace {

// Without a desktop there is nothing to drag or snap the window with.
bool isHeadless()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

WindowFrame::WindowFrame(QMainWindow *window)
    : QObject(window)
    , window(window)
{
    if (isHeadless()) {
        window->setWindowFlag(Qt::FramelessWindowHint, true);
    } else {
        agent = new FramelessWindowAgent(window, this);
        agent->setObjectName(QStringLiteral("rushletWindowAgent"));
    }
    window->installEventFilter(this);
}

void WindowFrame::installTitleBar(QMenuBar *menuBar)
{
    bar = new QWidget(window);
    bar->setObjectName(QStringLiteral("rushletTitleBar"));
    // A plain widget paints its style-sheet background only when asked to.
    bar->setAttribute(Qt::WA_StyledBackground, true);
    bar->setFixedHeight(44);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(10, 1, 0, 1);
    layout->setSpacing(0);

    auto *icon = new QToolButton(bar);
    icon->setObjectName(QStringLiteral("rushletSystemMenu"));
    icon->setIcon(RushletIcons::appIcon());
    icon->setIconSize(QSize(24, 24));
    icon->setFixedSize(32, 36);
    icon->setToolTip(QStringLiteral("Window menu"));
    icon->setAccessibleName(QStringLiteral("Window menu"));

    auto *brand = new QLabel(QStringLiteral("Rushlet"), bar);
    brand->setObjectName(QStringLiteral("rushletBrand"));
    QFont brandFont = brand->font();
    brandFont.setPointSize(11);
    brandFont.setWeight(QFont::DemiBold);
    brand->setFont(brandFont);

    // The main window's own menu bar would be deleted when the bar takes its place at the top.
    if (window->menuWidget() == menuBar)
        window->layout()->setMenuBar(nullptr);
    menus = menuBar;
    menuBar->setNativeMenuBar(false);
    menuBar->setObjectName(QStringLiteral("rushletTitleMenu"));
    menuBar->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    // The menus draw their own rounded panel and shadow.
    for (QMenu *menu : menusOf(menuBar)) {
        menu->setWindowFlag(Qt::NoDropShadowWindowHint, true);
        menu->setAttribute(Qt::WA_TranslucentBackground, true);
    }

    CaptionButton *minimize =
        addCaptionButton(IconKind::Minimize, QStringLiteral("rushletMinimize"), QStringLiteral("Minimize"));
    maximizeButton = addCaptionButton(IconKind::Maximize, QStringLiteral("rushletMaximize"), QString());
    CaptionButton *close =
        addCaptionButton(IconKind::Close, QStringLiteral("rushletClose"), QStringLiteral("Close"));

    layout->addWidget(icon);
    layout->addSpacing(5);
    layout->addWidget(brand);
    layout->addSpacing(22);
    layout->addWidget(menuBar, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    layout->addWidget(minimize);
    layout->addWidget(maximizeButton);
    layout->addWidget(close);
    window->setMenuWidget(bar);

    if (agent) {
        agent->setTitleBar(bar);
        const QList<QWidget *> keepClicks{icon, menuBar, minimize, maximizeButton, close};
        for (QWidget *widget : keepClicks)
            agent->setHitTestVisible(widget);
        windowMenu = new WindowMenu(window, bar);
        connect(icon, &QToolButton::clicked, windowMenu,
                [this, icon] { windowMenu->popup(icon->mapToGlobal(QPoint(0, icon->height()))); });
        connect(agent, &FramelessWindowAgent::systemMenuRequested, windowMenu,
                [this](const QPoint &position) { windowMenu->popup(position); });
    }

    connect(minimize, &QAbstractButton::clicked, window, &QWidget::showMinimized);
    connect(maximizeButton, &QAbstractButton::clicked, this, &WindowFrame::toggleMaximized);
    connect(close, &QAbstractButton::clicked, window, &QWidget::close);

    applyTheme();
    updateMaximizeButton();
}

CaptionButton *WindowFrame::addCaptionButton(IconKind glyph, const QString &name, const QString &toolTip)
{
    auto *button = new CaptionButton(glyph, bar);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    return button;
}

void WindowFrame::toggleMaximized()
{
    if (window->isMaximized())
        window->showNormal();
    else
        window->showMaximized();
    // The window changed size under the pointer, so the button is no longer where it was.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(maximizeButton, &leave);
}

QList<QMenu *> WindowFrame::menusOf(QMenuBar *menuBar) const
{
    QList<QMenu *> found = menuBar->findChildren<QMenu *>();
    QList<QAction *> pending = menuBar->actions();
    while (!pending.isEmpty()) {
        QMenu *menu = pending.takeLast()->menu();
        if (menu == nullptr)
            continue;
        if (!found.contains(menu))
            found.append(menu);
        pending.append(menu->actions());
    }
    return found;
}

void WindowFrame::applyTheme()
{
    if (!bar)
        return;
    const bool dark = ColourScheme::isDark(window->palette());
    const ColourScheme::TitleBarColours colours = ColourScheme::titleBarColours(dark);
    bar->setStyleSheet(
        QStringLiteral("QWidget#rushletTitleBar { background: %1; border-bottom: 1px solid %2; }"
                       "QLabel#rushletBrand { color: %3; }"
                       "QToolButton#rushletSystemMenu { background: transparent; border: 0; padding: 0; }"
                       "QToolButton#rushletSystemMenu:focus { border: 1px solid %5; border-radius: 4px; }"
                       "QMenuBar#rushletTitleMenu { background: transparent; border: 0; }"
                       "QMenuBar#rushletTitleMenu::item { padding: 5px 9px; background: transparent; "
                       "border-radius: 4px; }"
                       "QMenuBar#rushletTitleMenu::item:selected { background: %4; }")
            .arg(colours.background, colours.rule, window->palette().color(QPalette::WindowText).name(),
                 colours.itemHover, ColourScheme::captionColours(dark).focusRing));
    if (agent)
        agent->setWindowAttribute(QStringLiteral("dark-mode"), dark);
    QList<QMenu *> restyled = bar->findChildren<QMenu *>();
    for (QMenu *menu : menusOf(menus)) {
        if (!restyled.contains(menu))
            restyled.append(menu);
    }
    for (QMenu *menu : std::as_const(restyled)) {
        if (auto *popup = qobject_cast<PopupMenu *>(menu))
            popup->applyStyle();
    }
}

void WindowFrame::updateMaximizeButton()
{
    if (!maximizeButton)
        return;
    const bool maximized = window->isMaximized();
    const QString toolTip = maximized ? QStringLiteral("Restore down") : QStringLiteral("Maximize");
    maximizeButton->setKind(maximized ? IconKind::Restore : IconKind::Maximize);
    maximizeButton->setToolTip(toolTip);
    maximizeButton->setAccessibleName(toolTip);
}

bool WindowFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window)
        return false;
    switch (event->type()) {
    case QEvent::WindowStateChange:
        updateMaximizeButton();
        break;
    case QEvent::ApplicationPaletteChange:
    case QEvent::PaletteChange:
        applyTheme();
        break;
    case QEvent::ActivationChange:
        // The caption glyphs dim while the window is inactive.
        if (bar) {
            const QList<QAbstractButton *> buttons = bar->findChildren<QAbstractButton *>();
            for (QAbstractButton *button : buttons)
                button->update();
        }
        break;
    default:
        break;
    }
    return false;
}
