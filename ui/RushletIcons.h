#pragma once

#include "ui/IconKind.h"

#include <QIcon>

class QColor;
class QPainter;
class QPainterPath;
class QRectF;
class QSvgRenderer;

// The application icon and the drawn line icons. No bitmaps ship with the program: the
// application icon is rendered from its vector source at whatever size is asked for, and every
// other icon is a line drawing on a 24-unit grid coloured from the palette when painted.
namespace RushletIcons {

QIcon appIcon();
QIcon icon(IconKind kind);

// Draws `kind` scaled into `target` with a stroke of 1.7 grid units in `colour`.
void drawIcon(QPainter *painter, const QRectF &target, IconKind kind, const QColor &colour);

// The outline of `kind` on the 24 × 24 grid; empty for a value that names no shape.
QPainterPath iconPath(IconKind kind);

// The physical size of a pixmap that QIcon asks an engine's scaledPixmap() for. Before Qt 6.8
// QIcon passed the size already multiplied by the ratio; since then it passes the logical size.
QSize scaledPixmapSize(const QSize &requested, qreal scale);

// The parsed application icon, shared by the whole process. Invalid (and drawing nothing) when
// the resource is missing.
QSvgRenderer &appIconRenderer();

} // namespace RushletIcons
