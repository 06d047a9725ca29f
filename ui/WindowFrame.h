#pragma once

#include <QObject>

class CaptionButton;
enum class IconKind : int;
class FramelessWindowAgent;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;
class WindowMenu;

// The main window's own frame: a frameless window with a title bar of the program's (icon
// button, product name, the menu bar inline, caption buttons) in place of the system's. On a
// desktop an agent of the platform layer lets the window be dragged, resized and maximised
// through the bar; on headless platforms the window is only made frameless.
class WindowFrame : public QObject
{
    Q_OBJECT

public:
    // Created first thing by the main window; becomes its child.
    explicit WindowFrame(QMainWindow *window);

    // Builds the title bar around the filled menu bar and puts it at the top of the window.
    // Called once, after the menus are built.
    void installTitleBar(QMenuBar *menuBar);

    // The bar, once installed.
    QWidget *titleBar() const { return bar; }

    // Colours of the bar for the window's palette (light or dark); re-styles the menus under it.
    void applyTheme();
    // The middle caption button shows restore while the window is maximized, maximize otherwise.
    void updateMaximizeButton();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Every menu the menu bar opens, its submenus included, wherever their owners put them.
    QList<QMenu *> menusOf(QMenuBar *menuBar) const;
    CaptionButton *addCaptionButton(IconKind glyph, const QString &name, const QString &toolTip);
    void toggleMaximized();

    QMainWindow *window;
    FramelessWindowAgent *agent = nullptr;
    QWidget *bar = nullptr;
    QMenuBar *menus = nullptr;
    CaptionButton *maximizeButton = nullptr;
    WindowMenu *windowMenu = nullptr;
};
