#pragma once

#include <QIconEngine>

namespace RushletIcons {

// The application icon, rendered from its vector source. Each physical size is rendered once
// and then served from the process-wide pixmap cache.
class AppIconEngine : public QIconEngine
{
public:
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
};

} // namespace RushletIcons
