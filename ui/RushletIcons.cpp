#include "ui/RushletIcons.h"

#include "ui/AppIconEngine.h"
#include "ui/IconEngine.h"

#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <initializer_list>

namespace RushletIcons {

namespace {

void addLine(QPainterPath &path, std::initializer_list<QPointF> points, bool closed = false)
{
    auto point = points.begin();
    path.moveTo(*point);
    for (++point; point != points.end(); ++point)
        path.lineTo(*point);
    if (closed)
        path.closeSubpath();
}

} // namespace

QIcon appIcon()
{
    return QIcon(new AppIconEngine);
}

QIcon icon(IconKind kind)
{
    return QIcon(new IconEngine(kind));
}

QPainterPath iconPath(IconKind kind)
{
    QPainterPath path;
    switch (kind) {
    case IconKind::Add:
        addLine(path, {{12, 5}, {12, 19}});
        addLine(path, {{5, 12}, {19, 12}});
        break;
    case IconKind::Play:
        addLine(path, {{8, 5}, {19, 12}, {8, 19}}, true);
        break;
    case IconKind::Pause:
        addLine(path, {{8, 5}, {8, 19}});
        addLine(path, {{16, 5}, {16, 19}});
        break;
    case IconKind::Trash:
        addLine(path, {{5, 7}, {19, 7}});
        addLine(path, {{9, 3}, {15, 3}});
        addLine(path, {{7, 7}, {8, 21}, {16, 21}, {17, 7}});
        addLine(path, {{10, 11}, {10, 17}});
        addLine(path, {{14, 11}, {14, 17}});
        break;
    case IconKind::Folder:
        addLine(path, {{3, 8}, {3, 5}, {9, 5}, {12, 8}, {21, 8}, {21, 19}, {3, 19}}, true);
        addLine(path, {{3, 10}, {21, 10}});
        break;
    case IconKind::DownloadTray:
        addLine(path, {{4, 14}, {4, 20}, {20, 20}, {20, 14}});
        addLine(path, {{12, 3}, {12, 15}});
        addLine(path, {{7, 10}, {12, 15}, {17, 10}});
        break;
    case IconKind::ArrowDown:
        addLine(path, {{12, 4}, {12, 20}});
        addLine(path, {{6, 14}, {12, 20}, {18, 14}});
        break;
    case IconKind::Clock:
        path.addEllipse(QRectF(3, 3, 18, 18));
        addLine(path, {{12, 7}, {12, 12}, {16, 14}});
        break;
    case IconKind::Check:
        addLine(path, {{5, 12}, {10, 17}, {20, 6}});
        break;
    case IconKind::Warning:
        addLine(path, {{12, 3}, {22, 20}, {2, 20}}, true);
        addLine(path, {{12, 9}, {12, 13}});
        // A fifth of a unit long: the round caps turn it into a dot.
        addLine(path, {{12, 16}, {12, 16.2}});
        break;
    case IconKind::Document:
        addLine(path, {{5, 3}, {14, 3}, {19, 8}, {19, 21}, {5, 21}}, true);
        addLine(path, {{14, 3}, {14, 8}, {19, 8}});
        break;
    case IconKind::Minimize:
        addLine(path, {{5, 12}, {19, 12}});
        break;
    case IconKind::Maximize:
        path.addRect(QRectF(5, 5, 14, 14));
        break;
    case IconKind::Restore:
        path.addRect(QRectF(4, 8, 12, 12));
        addLine(path, {{8, 8}, {8, 4}, {20, 4}, {20, 16}, {16, 16}});
        break;
    case IconKind::Close:
        addLine(path, {{5, 5}, {19, 19}});
        addLine(path, {{19, 5}, {5, 19}});
        break;
    }
    return path;
}

void drawIcon(QPainter *painter, const QRectF &target, IconKind kind, const QColor &colour)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->translate(target.topLeft());
    painter->scale(target.width() / 24, target.height() / 24);
    // The pen lives in grid units, so the stroke thickens with the icon.
    painter->setPen(QPen(colour, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(iconPath(kind));
    painter->restore();
}

QSize scaledPixmapSize(const QSize &requested, qreal scale)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    return (QSizeF(requested) * scale).toSize();
#else
    Q_UNUSED(scale);
    return requested;
#endif
}

QSvgRenderer &appIconRenderer()
{
    static QSvgRenderer renderer(QStringLiteral(":/rushlet/assets/rushlet.svg"));
    return renderer;
}

} // namespace RushletIcons
