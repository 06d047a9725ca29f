#include "queue/window/ProgressDelegate.h"

#include "queue/view/DisplayFormat.h"

#include <QApplication>
#include <QPainter>

void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem background(option);
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const int percent = index.data(percentRole).isValid() ? index.data(percentRole).toInt() : -1;
    const bool paused = index.data(pausedRole).toBool();
    const QRect bar = barRect(option.rect, option.fontMetrics);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(Qt::NoPen);
    if (bar.width() > 0) {
        painter->setBrush(option.palette.color(QPalette::Midlight));
        painter->drawRoundedRect(bar, 2, 2);
    }
    const int filled = percent < 1 ? 0 : std::min(bar.width(), percent * bar.width() / 100);
    if (filled > 0) {
        painter->setBrush(option.palette.color(paused ? QPalette::Mid : QPalette::Highlight));
        painter->drawRoundedRect(QRect(bar.topLeft(), QSize(filled, bar.height())), 2, 2);
    }
    painter->setPen(option.palette.color(QPalette::Text));
    painter->drawText(option.rect.adjusted(0, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter,
                      DisplayFormat::percentLabel(percent));
    painter->restore();
}

QRect ProgressDelegate::barRect(const QRect &cell, const QFontMetrics &metrics)
{
    // The percent is written 8 pixels in from the right; keep a gap of 6 between it and the bar.
    const int percentRoom = metrics.horizontalAdvance(QStringLiteral("100%")) + 8 + 6;
    return cell.adjusted(9, 15, -std::max(44, percentRoom), -15);
}
