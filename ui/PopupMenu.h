#pragma once

#include <QImage>
#include <QMenu>

// Every menu of the program: a rounded panel with a soft shadow, painted by the menu itself on a
// translucent window so that the platform adds no frame or shadow of its own. Where nothing
// composes translucent windows (an X desktop without a compositor) the shadow would show as black,
// so there the menu is a plain panel filling its window, edged with a visible line, and sits
// exactly where it is opened.
class PopupMenu : public QMenu
{
    Q_OBJECT

public:
    explicit PopupMenu(QWidget *parent = nullptr);
    // `title` is the English text; menu-bar titles are translated by binding the window.
    explicit PopupMenu(const QString &title, QWidget *parent = nullptr);

    // Re-applies the style sheet for the application palette in force now.
    void applyStyle();

    // The shadow and panel drawn behind the items, covering a menu window of `size` (logical
    // pixels) at `ratio` physical pixels per logical pixel.
    static QImage renderBackground(const QSize &size, qreal ratio, bool dark);

    // Whether the menu is drawn with its shadow, as it was when last styled.
    bool hasShadow() const { return withShadow; }

    // The image the last paint used and whether it was drawn for the dark colour set.
    const QImage &cachedBackground() const { return background; }
    bool cachedBackgroundIsDark() const { return backgroundIsDark; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The blur is far too costly for every paint, so the panel is kept until the menu's size,
    // pixel ratio or colour set changes.
    QImage background;
    bool backgroundIsDark = false;
    bool withShadow = true;
};
