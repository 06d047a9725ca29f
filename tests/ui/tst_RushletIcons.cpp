#include "ui/ColourScheme.h"
#include "ui/RushletIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTest>

namespace {

// The colours an icon was painted in, ignoring the half-covered pixels at its edges.
QSet<QRgb> solidColours(const QImage &image)
{
    QSet<QRgb> colours;
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (qAlpha(plain.pixel(x, y)) == 255)
                colours.insert(plain.pixel(x, y));
    return colours;
}

} // namespace

class TestRushletIcons : public QObject
{
    Q_OBJECT

private slots:
    void init() { QPixmapCache::clear(); }

    void darkBelowLightness128_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<bool>("dark");
        QTest::newRow("black") << QColor(Qt::black) << true;
        QTest::newRow("white") << QColor(Qt::white) << false;
        QTest::newRow("grey 127") << QColor(127, 127, 127) << true;
        QTest::newRow("grey 128") << QColor(128, 128, 128) << false;
        // HSL lightness, neither brightness nor perceived luminance.
        QTest::newRow("deep red") << QColor(0xc0, 0, 0) << true;
        QTest::newRow("pure blue") << QColor(0, 0, 0xff) << false;
        QTest::newRow("dark slate") << QColor(0x2b, 0x30, 0x37) << true;
    }

    void darkBelowLightness128()
    {
        QFETCH(QColor, window);
        QFETCH(bool, dark);
        QCOMPARE(ColourScheme::isDark(window), dark);
        QPalette palette;
        palette.setColor(QPalette::Window, window);
        QCOMPARE(ColourScheme::isDark(palette), dark);
    }

    // Asked for as a widget on a screen with ratio 1.5 asks for it.
    void appIconIsCachedPerPhysicalSize()
    {
        const QIcon icon = RushletIcons::appIcon();
        const QPixmap first = icon.pixmap(QSize(32, 32), 1.5);
        QCOMPARE(first.size(), QSize(48, 48));
        QCOMPARE(first.devicePixelRatio(), 1.5);

        QPixmap cached;
        QVERIFY(QPixmapCache::find(QStringLiteral("rushlet_app_icon_48x48"), &cached));
        QCOMPARE(cached.size(), QSize(48, 48));
        QCOMPARE(cached.toImage().pixel(24, 24), first.toImage().pixel(24, 24));

        // Mark the cached entry: a second request must come from the cache, not the renderer.
        QPixmap marker(48, 48);
        marker.fill(Qt::red);
        QPixmapCache::insert(QStringLiteral("rushlet_app_icon_48x48"), marker);
        const QPixmap second = icon.pixmap(QSize(32, 32), 1.5, QIcon::Disabled, QIcon::On);
        QCOMPARE(second.toImage().pixel(24, 24), QColor(Qt::red).rgb());
        QCOMPARE(second.devicePixelRatio(), 1.5);
        // The same physical size at another ratio shares the entry.
        const QPixmap plain = icon.pixmap(QSize(48, 48), 1.0);
        QCOMPARE(plain.toImage().pixel(24, 24), QColor(Qt::red).rgb());
        QCOMPARE(plain.devicePixelRatio(), 1.0);
        // A screen with ratio 2 gets its own, twice as large.
        const QPixmap sharp = icon.pixmap(QSize(32, 32), 2.0);
        QCOMPARE(sharp.size(), QSize(64, 64));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QVERIFY(QPixmapCache::find(QStringLiteral("rushlet_app_icon_64x64"), nullptr));
    }

    void lineIconsAreDrawnAtThePhysicalSize()
    {
        const QPixmap pixmap = RushletIcons::icon(IconKind::Close).pixmap(QSize(16, 16), 2.0);
        QCOMPARE(pixmap.size(), QSize(32, 32));
        QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    }

    void appIconIsRenderedFromTheBuiltInDocument()
    {
        QVERIFY(RushletIcons::appIconRenderer().isValid());

        const QIcon icon = RushletIcons::appIcon();
        const QList<QSize> expected = {{16, 16}, {20, 20}, {24, 24},   {32, 32},  {40, 40},
                                       {48, 48}, {64, 64}, {128, 128}, {256, 256}};
        QCOMPARE(icon.availableSizes(), expected);

        const QImage image = icon.pixmap(QSize(64, 64)).toImage().convertToFormat(QImage::Format_ARGB32);
        // The rounded tile leaves the corners clear; the tile, the wave and the arrow are opaque.
        QCOMPARE(qAlpha(image.pixel(1, 1)), 0);
        const QColor tile = image.pixelColor(10, 20);
        QCOMPARE(tile.alpha(), 255);
        QVERIFY(tile.blue() > tile.red());
        QVERIFY(tile.lightness() < 80);
        QCOMPARE(image.pixelColor(32, 20), QColor(Qt::white));
        const QColor wave = image.pixelColor(32, 56);
        QVERIFY(wave.blue() > 200 && wave.lightness() > 100);
    }

    void iconsTakeTheTextColourOfTheirMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("normal") << int(QIcon::Normal) << QColor(0x10, 0x20, 0x30);
        QTest::newRow("active") << int(QIcon::Active) << QColor(0x10, 0x20, 0x30);
        QTest::newRow("disabled") << int(QIcon::Disabled) << QColor(0x99, 0x88, 0x77);
    }

    void iconsTakeTheTextColourOfTheirMode()
    {
        QFETCH(int, mode);
        QFETCH(QColor, expected);
        const QPalette original = QApplication::palette();
        QPalette palette = original;
        palette.setColor(QPalette::Text, QColor(0x10, 0x20, 0x30));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x99, 0x88, 0x77));
        QApplication::setPalette(palette);

        const QIcon icon = RushletIcons::icon(IconKind::Close);
        const QImage image = icon.pixmap(QSize(48, 48), static_cast<QIcon::Mode>(mode)).toImage();
        QCOMPARE(image.size(), QSize(48, 48));
        QCOMPARE(solidColours(image), QSet<QRgb>{expected.rgb()});

        // The same icon repaints in a new palette's colour without being recreated.
        palette.setColor(QPalette::Text, Qt::white);
        palette.setColor(QPalette::Disabled, QPalette::Text, Qt::gray);
        QApplication::setPalette(palette);
        const QColor after = mode == QIcon::Disabled ? QColor(Qt::gray) : QColor(Qt::white);
        QCOMPARE(solidColours(icon.pixmap(QSize(48, 48), static_cast<QIcon::Mode>(mode)).toImage()),
                 QSet<QRgb>{after.rgb()});
        QApplication::setPalette(original);
    }

    void emptySizesGiveEmptyPixmapsQuietly()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        QVERIFY(RushletIcons::icon(IconKind::Add).pixmap(QSize(0, 0)).isNull());
        QVERIFY(RushletIcons::appIcon().pixmap(QSize(0, 16)).isNull());
        QVERIFY(!QPixmapCache::find(QStringLiteral("rushlet_app_icon_0x0"), nullptr));
    }

    void everyShapeStaysOnItsGrid()
    {
        for (int kind = 0; kind <= 14; ++kind) {
            const QPainterPath path = RushletIcons::iconPath(static_cast<IconKind>(kind));
            QVERIFY2(!path.isEmpty(), qPrintable(QString::number(kind)));
            // Stroke and caps reach 0.85 units further; they must not be cut off at the edge.
            const QRectF bounds = path.boundingRect();
            QVERIFY2(bounds.left() >= 0.85 && bounds.top() >= 0.85 && bounds.right() <= 23.15 &&
                         bounds.bottom() <= 23.15,
                     qPrintable(QString::number(kind)));
        }
        QVERIFY(RushletIcons::iconPath(static_cast<IconKind>(15)).isEmpty());
        QVERIFY(RushletIcons::iconPath(static_cast<IconKind>(-1)).isEmpty());
    }

    // The dot is a 0.2-unit stroke; without round caps it would vanish.
    void warningDotIsVisible()
    {
        QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        RushletIcons::drawIcon(&painter, QRectF(0, 0, 48, 48), IconKind::Warning, Qt::black);
        painter.end();
        QCOMPARE(qAlpha(image.pixel(24, 32)), 255);
        QVERIFY(qAlpha(image.pixel(24, 29)) < 128);
    }

    void drawIconFillsTheTargetAndRestoresThePainter()
    {
        QImage image(100, 60, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setPen(Qt::red);
        painter.setBrush(Qt::green);
        const QTransform before = painter.transform();
        // A non-square target stretches the grid; Minimize's line spans 5–19 of 24 units.
        RushletIcons::drawIcon(&painter, QRectF(10, 6, 48, 24), IconKind::Minimize, Qt::blue);
        QCOMPARE(painter.transform(), before);
        QCOMPARE(painter.pen().color(), QColor(Qt::red));
        QCOMPARE(painter.brush().color(), QColor(Qt::green));
        painter.end();
        for (const QPoint &point : {QPoint(10 + 24, 6 + 12), QPoint(10 + 12, 6 + 12)}) {
            const QRgb pixel = image.pixel(point);
            QVERIFY(qAlpha(pixel) > 200);
            QCOMPARE(qRed(pixel) | qGreen(pixel), 0);
        }
        QCOMPARE(qAlpha(image.pixel(10 + 6, 6 + 12)), 0);
        QCOMPARE(qAlpha(image.pixel(10 + 24, 6 + 6)), 0);
    }
};

QTEST_MAIN(TestRushletIcons)
#include "tst_RushletIcons.moc"
