#include "ui/PopupMenu.h"

#include "platform/DesktopComposition.h"
#include "ui/ColourScheme.h"
#include "ui/PopupContentsStyle.h"
#include "ui/ShadowBlur.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QtMath>

namespace {

// Room around the panel for the shadow to fade out in.
constexpr int panelInset = 12;
// Between the panel's edge and the items.
constexpr int itemInset = 6;
constexpr qreal cornerRadius = 9;
constexpr qreal shadowOffset = 2;
constexpr qreal shadowSigma = 3;

bool applicationIsDark()
{
    return ColourScheme::isDark(QGuiApplication::palette());
}

} // namespace

PopupMenu::PopupMenu(QWidget *parent)
    : PopupMenu(QString(), parent)
{
}

PopupMenu::PopupMenu(const QString &title, QWidget *parent)
    : QMenu(title, parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    // Fusion draws the same on every platform, so the style sheet's measurements hold everywhere.
    auto *contentsStyle = new PopupContentsStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    contentsStyle->setParent(this);
    setStyle(contentsStyle);
    applyStyle();
    // A compositor may have started or stopped since the menu was last shown; the menu measures
    // itself after this signal, so a new padding is in place in time.
    connect(this, &QMenu::aboutToShow, this, [this] {
        if (withShadow != DesktopComposition::composesTranslucentWindows())
            applyStyle();
    });
}

void PopupMenu::applyStyle()
{
    const bool dark = applicationIsDark();
    const ColourScheme::MenuColours colours = ColourScheme::menuColours(dark);
    withShadow = DesktopComposition::composesTranslucentWindows();
    // The items keep the same distance from the panel's edge either way.
    const int padding = withShadow ? panelInset + itemInset : itemInset;
    setStyleSheet(
        QStringLiteral("QMenu { background: transparent; color: %1; border: 0; padding: %5px; }"
                       "QMenu::item { padding: 6px 24px 6px 26px; margin: 2px; border-radius: 5px; }"
                       "QMenu::item:selected { background: %3; color: %1; }"
                       "QMenu::item:disabled { color: %4; background: transparent; }"
                       "QMenu::separator { height: 1px; background: %2; margin: 4px 10px; }"
                       "QMenu::icon { padding-left: 8px; }"
                       "QMenu::indicator { width: 16px; height: 16px; }")
            .arg(colours.text, colours.separator, colours.highlight, colours.disabled)
            .arg(padding) +
        ColourScheme::toolTipSheet(dark));
}

QImage PopupMenu::renderBackground(const QSize &size, qreal ratio, bool dark)
{
    const QSize physical(qCeil(size.width() * ratio), qCeil(size.height() * ratio));
    const ColourScheme::MenuColours colours = ColourScheme::menuColours(dark);
    const QRectF panel =
        QRectF(QRect(QPoint(0, 0), size)).adjusted(panelInset, panelInset, -panelInset, -panelInset);

    QImage mask(physical, QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(ratio);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, colours.shadowAlpha));
        painter.drawRoundedRect(panel.translated(0, shadowOffset), cornerRadius, cornerRadius);
    }

    QImage result = ShadowBlur::blurredShadow(mask, shadowSigma * ratio);
    {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(QColor(colours.panel));
        painter.setPen(QPen(QColor(colours.panelBorder), 0.6, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawRoundedRect(panel, cornerRadius, cornerRadius);
    }
    return result;
}

void PopupMenu::paintEvent(QPaintEvent *event)
{
    const bool dark = applicationIsDark();
    if (!withShadow) {
        const ColourScheme::MenuColours colours = ColourScheme::menuColours(dark);
        QPainter painter(this);
        painter.fillRect(rect(), QColor(colours.panel));
        painter.setPen(QColor(colours.flatBorder));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.end();
        QMenu::paintEvent(event);
        return;
    }
    const qreal ratio = devicePixelRatio();
    const QSize physical(qCeil(width() * ratio), qCeil(height() * ratio));
    if (background.size() != physical || background.devicePixelRatio() != ratio || backgroundIsDark != dark) {
        background = renderBackground(size(), ratio, dark);
        backgroundIsDark = dark;
    }
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.drawImage(QPoint(0, 0), background);
    }
    QMenu::paintEvent(event);
}
