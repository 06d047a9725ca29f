#include "queue/closing/CheckIndicatorStyle.h"

#include "ui/RushletIcons.h"

#include <QPainter>
#include <QStyleOption>

CheckIndicatorStyle::CheckIndicatorStyle(const ColourScheme::DialogColours &colours)
    : colours(colours)
{
}

void CheckIndicatorStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                        QPainter *painter, const QWidget *widget) const
{
    if (element != PE_IndicatorCheckBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const bool checked = option->state & State_On;
    const bool hovered = option->state & State_MouseOver;
    const QColor accent(colours.accent);
    const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(checked ? accent : QColor(hovered ? colours.accent : colours.secondaryText), 1));
    painter->setBrush(checked ? accent : QColor(colours.surface));
    painter->drawRoundedRect(box, 3, 3);
    if (checked)
        RushletIcons::drawIcon(painter, box.adjusted(1.5, 1.5, -1.5, -1.5), IconKind::Check,
                               QColor(colours.textOnAccent));
    painter->restore();
}
