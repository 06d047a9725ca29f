#include "queue/adding/DialogComboBox.h"

#include <QPainter>

void DialogComboBox::paintEvent(QPaintEvent *event)
{
    QComboBox::paintEvent(event);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
    painter.setPen(
        QPen(palette().color(group, QPalette::Text), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF tip(width() - 16, height() / 2 + 2);
    painter.drawLine(tip + QPointF(-4, -4), tip);
    painter.drawLine(tip, tip + QPointF(4, -4));
}
