#include "queue/window/PaneLabels.h"

#include <QFont>
#include <QLabel>

namespace PaneLabels {

QLabel *create(QWidget *parent, const QString &objectName)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    if (!objectName.isEmpty())
        label->setObjectName(objectName);
    return label;
}

QLabel *createValue(QWidget *parent, const QString &objectName)
{
    QLabel *label = create(parent, objectName);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A name or path without a break opportunity would otherwise set the window's minimum width.
    label->setMinimumWidth(0);
    QSizePolicy policy = label->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Ignored);
    label->setSizePolicy(policy);
    return label;
}

QFont emphasisFont()
{
    QFont font;
    font.setPointSize(10);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace PaneLabels
