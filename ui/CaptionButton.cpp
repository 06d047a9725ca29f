#include "ui/CaptionButton.h"

#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"

#include <QEvent>
#include <QFocusEvent>
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
    } else if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        focusFromKeyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                            reason == Qt::ShortcutFocusReason;
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
    if (hasFocus() && focusFromKeyboard) {
        const ColourScheme::CaptionColours colours =
            ColourScheme::captionColours(ColourScheme::isDark(palette()));
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(QColor(colours.focusRing), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 4, 4);
    }
}
