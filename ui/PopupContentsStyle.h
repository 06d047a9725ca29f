#pragma once

#include <QProxyStyle>

// The style under every popup menu: the wrapped style draws everything except the check mark,
// which is drawn as a thin line so that it matches the drawn icons in both colour sets.
class PopupContentsStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Takes ownership of `base`.
    explicit PopupContentsStyle(QStyle *base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};
