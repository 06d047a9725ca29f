#include "ui/PopupContentsStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

#include <algorithm>

PopupContentsStyle::PopupContentsStyle(QStyle *base)
    : QProxyStyle(base)
{
}

void PopupContentsStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                       QPainter *painter, const QWidget *widget) const
{
    if (element != PE_IndicatorMenuCheckMark) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }

    // The mark is designed on a 16-unit square; it keeps its proportions in any indicator size.
    const QRectF area = option->rect;
    const qreal side = std::min(area.width(), area.height());
    const QRectF square(area.center().x() - side / 2, area.center().y() - side / 2, side, side);

    QPainterPath mark;
    mark.moveTo(3, 8);
    mark.lineTo(6.5, 11.5);
    mark.lineTo(13, 4.5);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->translate(square.topLeft());
    painter->scale(side / 16, side / 16);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(
        QPen(option->palette.color(QPalette::Text), 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->drawPath(mark);
    painter->restore();
}
