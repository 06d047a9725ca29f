#include "ui/CaptionButton.h"

#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"

#include <QEvent>
#include <QPainter>

namespace {

constexpr int glyphSide = 14;

} // namespace

CaptionButton::CaptionButton(IconKind kind, QWidget *parent)
    : QAbstractButton(parent)
    , glyph(kind)
{
    setFixedSize(46, 42);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, true);
}

void CaptionButton::setKind(IconKind kind)
{
    glyph = kind;
    update();
}

bool CaptionButton::event(QEvent *event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        hovered = event->type() == QEvent::Enter;
        update();
    }
    return QAbstractButton::event(event);
}

void CaptionButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor glyphColour = palette().color(QPalette::WindowText);
    const bool pressed = isDown();
    if (hovered || pressed) {
        const ColourScheme::CaptionColours colours =
            ColourScheme::captionColours(ColourScheme::isDark(palette()));
        if (glyph == IconKind::Close) {
            painter.fillRect(rect(), QColor(pressed ? colours.closePressed : colours.closeHover));
            glyphColour = Qt::white;
        } else {
            const int alpha = pressed ? colours.veilPressedAlpha : colours.veilHoverAlpha;
            painter.fillRect(rect(), QColor(128, 128, 128, alpha));
        }
    }
    if (!isActiveWindow() && !hovered)
        glyphColour.setAlpha(155);
    const QRectF square((width() - glyphSide) / 2, (height() - glyphSide) / 2, glyphSide, glyphSide);
    RushletIcons::drawIcon(&painter, square, glyph, glyphColour);
}
