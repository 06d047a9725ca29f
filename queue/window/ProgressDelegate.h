#pragma once

#include <QStyledItemDelegate>

// Draws the Progress column: a rounded bar filled to the download's percent (in the highlight
// colour, or muted while paused) and the percent right-aligned beside it. The cell carries the
// percent in Qt::UserRole (-1 when unknown) and whether the download is paused in
// Qt::UserRole + 1.
class ProgressDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int percentRole = Qt::UserRole;
    static constexpr int pausedRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // Where the bar goes inside a cell: 9 pixels in from the left, 15 from the top and bottom, and
    // on the right 44 pixels or the room "100%" needs in `metrics`, whichever is more.
    static QRect barRect(const QRect &cell, const QFontMetrics &metrics);
};
