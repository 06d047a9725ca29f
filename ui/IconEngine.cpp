#include "ui/IconEngine.h"

#include "ui/RushletIcons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace RushletIcons {

IconEngine::IconEngine(IconKind kind)
    : kind(kind)
{
}

void IconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    const QPalette palette = QGuiApplication::palette();
    const QColor colour = mode == QIcon::Disabled ? palette.color(QPalette::Disabled, QPalette::Text)
                                                  : palette.color(QPalette::Text);
    drawIcon(painter, QRectF(rect), kind, colour);
}

QPixmap IconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    // A painter cannot open an empty pixmap.
    if (size.isEmpty())
        return QPixmap();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
}

QIconEngine *IconEngine::clone() const
{
    return new IconEngine(kind);
}

// Drawn at the physical size, so that lines stay sharp on every screen.
QPixmap IconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale)
{
    QPixmap result = pixmap(scaledPixmapSize(size, scale), mode, state);
    result.setDevicePixelRatio(scale);
    return result;
}

} // namespace RushletIcons
