#include "ui/AppIconEngine.h"

#include "ui/RushletIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace RushletIcons {

void AppIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State)
{
    appIconRenderer().render(painter, QRectF(rect));
}

QPixmap AppIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QIconEngine *AppIconEngine::clone() const
{
    return new AppIconEngine;
}

QList<QSize> AppIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const int side : {16, 20, 24, 32, 40, 48, 64, 128, 256})
        sizes.append(QSize(side, side));
    return sizes;
}

// The application icon has no disabled or selected look, so mode and state do not matter.
QPixmap AppIconEngine::scaledPixmap(const QSize &size, QIcon::Mode, QIcon::State, qreal scale)
{
    const QSize physical = scaledPixmapSize(size, scale);
    // Nothing to draw, and nothing worth a cache entry.
    if (physical.isEmpty())
        return QPixmap();
    const QString key = QStringLiteral("rushlet_app_icon_%1x%2").arg(physical.width()).arg(physical.height());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(physical);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        appIconRenderer().render(&painter, QRectF(QPointF(0, 0), QSizeF(physical)));
        painter.end();
        QPixmapCache::insert(key, pixmap);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

} // namespace RushletIcons
