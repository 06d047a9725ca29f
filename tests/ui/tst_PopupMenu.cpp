#include "ui/PopupContentsStyle.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>

namespace {

QPalette paletteWithWindow(const QColor &window, const QColor &text)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    return palette;
}

QPalette lightPalette()
{
    return paletteWithWindow(QColor(0xef, 0xef, 0xef), Qt::black);
}

QPalette darkPalette()
{
    return paletteWithWindow(QColor(0x2b, 0x30, 0x37), Qt::white);
}

QRect physicalRect(const QRect &logical, qreal ratio)
{
    return QRect(logical.topLeft() * ratio, logical.size() * ratio);
}

} // namespace

class TestPopupMenu : public QObject
{
    Q_OBJECT

private slots:
    void init() { QApplication::setPalette(lightPalette()); }

    void backgroundCacheIsReusedUntilSomethingChanges()
    {
        PopupMenu menu(QStringLiteral("View"));
        menu.addAction(QStringLiteral("Show details pane"));
        menu.addAction(QStringLiteral("Pause all"));
        menu.resize(menu.sizeHint());

        menu.grab();
        const qint64 first = menu.cachedBackground().cacheKey();
        QCOMPARE(menu.cachedBackground().size(), menu.size());
        QVERIFY(!menu.cachedBackgroundIsDark());
        menu.grab();
        QCOMPARE(menu.cachedBackground().cacheKey(), first);

        menu.resize(menu.width() + 30, menu.height());
        menu.grab();
        const qint64 resized = menu.cachedBackground().cacheKey();
        QVERIFY(resized != first);
        QCOMPARE(menu.cachedBackground().size(), menu.size());

        // Menus follow the application palette, not their own.
        menu.setPalette(darkPalette());
        menu.grab();
        QCOMPARE(menu.cachedBackground().cacheKey(), resized);

        QApplication::setPalette(darkPalette());
        menu.grab();
        QVERIFY(menu.cachedBackground().cacheKey() != resized);
        QVERIFY(menu.cachedBackgroundIsDark());
        const qint64 dark = menu.cachedBackground().cacheKey();
        menu.grab();
        QCOMPARE(menu.cachedBackground().cacheKey(), dark);
    }

    void backgroundIsPanelOverShadow_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QColor>("fill");
        QTest::newRow("light") << 1.0 << false << QColor(0xff, 0xff, 0xff);
        QTest::newRow("dark") << 1.0 << true << QColor(0x25, 0x2b, 0x33);
        QTest::newRow("light, ratio 2") << 2.0 << false << QColor(0xff, 0xff, 0xff);
        QTest::newRow("dark, ratio 1.25") << 1.25 << true << QColor(0x25, 0x2b, 0x33);
    }

    void backgroundIsPanelOverShadow()
    {
        QFETCH(qreal, ratio);
        QFETCH(bool, dark);
        QFETCH(QColor, fill);
        const QSize size(201, 121);
        const QImage image = PopupMenu::renderBackground(size, ratio, dark);
        QCOMPARE(image.size(), QSize(qCeil(201 * ratio), qCeil(121 * ratio)));
        QCOMPARE(image.devicePixelRatio(), ratio);

        QCOMPARE(image.pixelColor(physicalRect(QRect(100, 60, 1, 1), ratio).topLeft()), fill);
        // The window's corners lie beyond the shadow's reach.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);

        // The shadow falls below the panel more than above it, and black.
        const QPoint below = physicalRect(QRect(100, 121 - 12 + 2, 1, 1), ratio).topLeft();
        const QPoint above = physicalRect(QRect(100, 12 - 3, 1, 1), ratio).topLeft();
        QVERIFY(qAlpha(image.pixel(below)) > qAlpha(image.pixel(above)));
        QCOMPARE(qRed(image.pixel(below)) | qGreen(image.pixel(below)) | qBlue(image.pixel(below)), 0);
    }

    // The blur works on physical pixels, so its sigma must grow with the ratio for the shadow to
    // look the same on every screen.
    void shadowKeepsItsLogicalWidthAtEveryRatio()
    {
        const QImage single = PopupMenu::renderBackground(QSize(160, 100), 1.0, false);
        const QImage twice = PopupMenu::renderBackground(QSize(160, 100), 2.0, false);
        for (int y = 100 - 12; y < 100; ++y) {
            const int expected = qAlpha(single.pixel(80, y));
            // The centre of the matching 2 × 2 block.
            const int atTwice = (qAlpha(twice.pixel(160, 2 * y)) + qAlpha(twice.pixel(160, 2 * y + 1))) / 2;
            QVERIFY2(qAbs(atTwice - expected) <= 3,
                     qPrintable(QStringLiteral("row %1: %2 against %3").arg(y).arg(atTwice).arg(expected)));
        }
    }

    void darkShadowIsStronger()
    {
        const QImage light = PopupMenu::renderBackground(QSize(160, 100), 1.0, false);
        const QImage dark = PopupMenu::renderBackground(QSize(160, 100), 1.0, true);
        const QPoint below(80, 100 - 12 + 3);
        QVERIFY(qAlpha(dark.pixel(below)) > qAlpha(light.pixel(below)));
    }

    void styleSheetFollowsApplicationPalette()
    {
        PopupMenu menu;
        QVERIFY(menu.styleSheet().contains(QLatin1String("color: #243244")));
        QApplication::setPalette(darkPalette());
        QVERIFY(menu.styleSheet().contains(QLatin1String("color: #243244")));
        menu.applyStyle();
        QVERIFY(menu.styleSheet().contains(QLatin1String("color: #edf2f7")));
        QVERIFY(menu.styleSheet().contains(QLatin1String("background: #33465b")));
        QVERIFY(!menu.styleSheet().contains(QLatin1String("#243244")));
    }

    void checkMarkIsCentredInItsRectangle_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::newRow("square") << QRect(4, 4, 16, 16);
        QTest::newRow("wide") << QRect(0, 2, 48, 16);
        QTest::newRow("tall, larger") << QRect(2, 0, 24, 40);
    }

    void checkMarkIsCentredInItsRectangle()
    {
        QFETCH(QRect, rect);
        PopupContentsStyle style(QStyleFactory::create(QStringLiteral("Fusion")));
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QStyleOptionMenuItem option;
        option.rect = rect;
        option.palette.setColor(QPalette::Text, QColor(200, 0, 0));
        QPainter painter(&image);
        style.drawPrimitive(QStyle::PE_IndicatorMenuCheckMark, &option, &painter);
        painter.end();

        const int side = std::min(rect.width(), rect.height());
        const QPointF centre = QRectF(rect).center();
        const QRectF square(centre.x() - side / 2.0, centre.y() - side / 2.0, side, side);
        QRect painted;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    continue;
                painted |= QRect(x, y, 1, 1);
                QCOMPARE(qGreen(pixel), 0);
                QCOMPARE(qBlue(pixel), 0);
            }
        }
        // The mark spans from 3 to 13 units across and 4.5 to 11.5 down, plus its pen.
        const qreal unit = side / 16.0;
        QVERIFY(!painted.isEmpty());
        QVERIFY(qAbs(painted.left() - (square.left() + 2.15 * unit)) <= 1.0);
        QVERIFY(qAbs(painted.right() + 1 - (square.left() + 13.85 * unit)) <= 1.0);
        QVERIFY(qAbs(painted.top() - (square.top() + 3.65 * unit)) <= 1.0);
        QVERIFY(qAbs(painted.bottom() + 1 - (square.top() + 12.35 * unit)) <= 1.0);
    }

    // Through the style sheet, a checked item must reach the drawn mark and paint it in the
    // item's text colour.
    void checkedItemShowsTheMarkInTextColour()
    {
        PopupMenu menu;
        QAction *action = menu.addAction(QStringLiteral("English"));
        action->setCheckable(true);
        menu.resize(menu.sizeHint());
        const QImage unchecked = menu.grab().toImage();
        action->setChecked(true);
        const QImage checked = menu.grab().toImage();
        QCOMPARE(checked.size(), unchecked.size());

        int differing = 0;
        int darkest = 255;
        for (int y = 0; y < checked.height(); ++y) {
            for (int x = 0; x < checked.width(); ++x) {
                if (checked.pixel(x, y) == unchecked.pixel(x, y))
                    continue;
                ++differing;
                // Only the indicator column changes, left of the text.
                QVERIFY(x < 18 + 2 + 26);
                darkest = std::min(darkest, qGray(checked.pixel(x, y)));
            }
        }
        QVERIFY(differing > 10);
        // #243244 on white: the mark's core reaches the text colour.
        QVERIFY2(darkest < qGray(qRgb(0x24, 0x32, 0x44)) + 40, qPrintable(QString::number(darkest)));
    }
};

QTEST_MAIN(TestPopupMenu)
#include "tst_PopupMenu.moc"
