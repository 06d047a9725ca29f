#pragma once

#include "ui/IconKind.h"

#include <QIconEngine>

namespace RushletIcons {

// A drawn line icon. The colour is looked up at paint time, so an icon follows a switch between
// light and dark without being recreated.
class IconEngine : public QIconEngine
{
public:
    explicit IconEngine(IconKind kind);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;

private:
    IconKind kind;
};

} // namespace RushletIcons
