#pragma once

#include <QStyledItemDelegate>

// Draws a category like the standard delegate, without the focus frame: the selection already
// says which category is shown.
class SidebarDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
