#include "ui/ShadowBlur.h"

#include <QTest>

#include <cmath>
#include <numeric>

class TestShadowBlur : public QObject
{
    Q_OBJECT

private slots:
    void kernelIsNormalisedAndSymmetric_data()
    {
        QTest::addColumn<double>("sigma");
        QTest::addColumn<int>("radius");
        QTest::newRow("ratio 1") << 3.0 << 9;
        QTest::newRow("ratio 1.5") << 4.5 << 14;
        QTest::newRow("ratio 2") << 6.0 << 18;
        QTest::newRow("narrow") << 0.4 << 2;
    }

    void kernelIsNormalisedAndSymmetric()
    {
        QFETCH(double, sigma);
        QFETCH(int, radius);
        const std::vector<double> kernel = ShadowBlur::gaussianKernel(sigma);
        QCOMPARE(int(kernel.size()), 2 * radius + 1);
        QVERIFY(std::abs(std::accumulate(kernel.begin(), kernel.end(), 0.0) - 1.0) < 1e-12);
        for (int i = 0; i < radius; ++i) {
            QCOMPARE(kernel[size_t(i)], kernel[kernel.size() - 1 - size_t(i)]);
            // Weights rise towards the centre.
            QVERIFY(kernel[size_t(i)] < kernel[size_t(i) + 1]);
        }
        const double ratio = kernel[size_t(radius) + 1] / kernel[size_t(radius)];
        QVERIFY(std::abs(ratio - std::exp(-1.0 / (2 * sigma * sigma))) < 1e-12);
    }

    // Each pass must move values only along its own direction.
    void passesBlurAlongTheirDirectionOnly()
    {
        const int width = 9;
        const int height = 7;
        std::vector<double> values(size_t(width * height), 0.0);
        values[size_t(3 * width + 4)] = 100.0;
        const std::vector<double> kernel = ShadowBlur::gaussianKernel(0.8);

        const std::vector<double> horizontal =
            ShadowBlur::blurPass(values, width, height, kernel, Qt::Horizontal);
        const std::vector<double> vertical =
            ShadowBlur::blurPass(values, width, height, kernel, Qt::Vertical);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t at = size_t(y * width + x);
                if (y != 3)
                    QCOMPARE(horizontal[at], 0.0);
                if (x != 4)
                    QCOMPARE(vertical[at], 0.0);
            }
        }
        QCOMPARE(horizontal[size_t(3 * width + 4)], 100.0 * kernel[kernel.size() / 2]);
        QCOMPARE(horizontal[size_t(3 * width + 5)], 100.0 * kernel[kernel.size() / 2 + 1]);
        QCOMPARE(vertical[size_t(2 * width + 4)], 100.0 * kernel[kernel.size() / 2 - 1]);
        // Far from the borders nothing is lost.
        QVERIFY(std::abs(std::accumulate(horizontal.begin(), horizontal.end(), 0.0) - 100.0) < 1e-9);
    }

    // Samples beyond the image count as nothing: an edge does not smear outwards and its value
    // falls, instead of being treated as if the image continued.
    void bordersCountAsEmpty()
    {
        const std::vector<double> values(5, 80.0);
        const std::vector<double> kernel = ShadowBlur::gaussianKernel(1.0);
        const std::vector<double> result = ShadowBlur::blurPass(values, 5, 1, kernel, Qt::Horizontal);
        const double centre = kernel[3];
        const double expectedEdge = 80.0 * (centre + kernel[4] + kernel[5] + kernel[6]);
        QVERIFY(std::abs(result[0] - expectedEdge) < 1e-9);
        QCOMPARE(result[0], result[4]);
        QVERIFY(result[0] < result[2]);
        QVERIFY(result[2] < 80.0);
    }

    void shadowIsBlackSymmetricAndKeepsTheMaskGeometry()
    {
        // Colour channels of the mask must not leak into the shadow.
        QImage mask(41, 31, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        mask.setDevicePixelRatio(2.0);
        for (int y = 10; y <= 20; ++y)
            for (int x = 12; x <= 28; ++x)
                mask.setPixel(x, y, qRgba(120, 0, 60, 160));

        const QImage shadow = ShadowBlur::blurredShadow(mask, 2.0);
        QCOMPARE(shadow.size(), mask.size());
        QCOMPARE(shadow.devicePixelRatio(), 2.0);
        QCOMPARE(shadow.format(), QImage::Format_ARGB32_Premultiplied);

        qint64 total = 0;
        for (int y = 0; y < shadow.height(); ++y) {
            for (int x = 0; x < shadow.width(); ++x) {
                const QRgb pixel = shadow.pixel(x, y);
                QCOMPARE(qRed(pixel) | qGreen(pixel) | qBlue(pixel), 0);
                // The mask is centred, so the blur is mirror-symmetric on both axes.
                QCOMPARE(qAlpha(pixel), qAlpha(shadow.pixel(shadow.width() - 1 - x, y)));
                QCOMPARE(qAlpha(pixel), qAlpha(shadow.pixel(x, shadow.height() - 1 - y)));
                total += qAlpha(pixel);
            }
        }
        // The block sits more than three sigmas from every edge, so its weight is kept,
        // up to rounding in each of the pixels.
        const qint64 maskTotal = 11 * 17 * 160;
        QVERIFY2(std::abs(total - maskTotal) < shadow.width() * shadow.height() / 2,
                 qPrintable(QStringLiteral("%1 against %2").arg(total).arg(maskTotal)));
        // A soft edge: the block's interior stays lighter than the original and the outside
        // picks up some shadow.
        QVERIFY(qAlpha(shadow.pixel(20, 15)) < 160);
        QVERIFY(qAlpha(shadow.pixel(20, 15)) > 100);
        QVERIFY(qAlpha(shadow.pixel(20, 8)) > 0);
        QCOMPARE(qAlpha(shadow.pixel(0, 0)), 0);
    }

    void resultIsRoundedToNearest()
    {
        // A lone pixel of alpha 255 spreads to 255 × w(0)²; rounding down would lose the shadow
        // of thin shapes.
        QImage mask(31, 31, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        mask.setPixel(15, 15, qRgba(0, 0, 0, 255));
        const std::vector<double> kernel = ShadowBlur::gaussianKernel(1.5);
        const QImage shadow = ShadowBlur::blurredShadow(mask, 1.5);
        const double centre = kernel[kernel.size() / 2];
        QCOMPARE(qAlpha(shadow.pixel(15, 15)), int(std::lround(255 * centre * centre)));
        const double side = kernel[kernel.size() / 2 + 1];
        QCOMPARE(qAlpha(shadow.pixel(16, 15)), int(std::lround(255 * centre * side)));
    }
};

QTEST_APPLESS_MAIN(TestShadowBlur)
#include "tst_ShadowBlur.moc"
