#pragma once

#include "ui/ColourScheme.h"

#include <QProxyStyle>

// Draws a check box's box in a dialog's own colours. A dialog style sheet that makes its check
// boxes transparent also takes away the colours the desktop's styles draw the box with, and the
// box would vanish; everything else is left to the application's style.
class CheckIndicatorStyle : public QProxyStyle
{
    Q_OBJECT

public:
    explicit CheckIndicatorStyle(const ColourScheme::DialogColours &colours);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    ColourScheme::DialogColours colours;
};
