#include "ui/ShadowBlur.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace ShadowBlur {

std::vector<double> gaussianKernel(double sigma)
{
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<double> weights;
    weights.reserve(static_cast<size_t>(2 * radius + 1));
    for (int i = -radius; i <= radius; ++i)
        weights.push_back(std::exp(-double(i) * double(i) / (2.0 * sigma * sigma)));
    const double sum = std::accumulate(weights.begin(), weights.end(), 0.0);
    for (double &weight : weights)
        weight /= sum;
    return weights;
}

std::vector<double> blurPass(const std::vector<double> &values, int width, int height,
                             const std::vector<double> &kernel, Qt::Orientation orientation)
{
    const int radius = static_cast<int>(kernel.size() / 2);
    const bool horizontal = orientation == Qt::Horizontal;
    const int length = horizontal ? width : height;
    // Distance between neighbouring samples along the pass direction.
    const ptrdiff_t step = horizontal ? 1 : width;
    std::vector<double> result(values.size(), 0.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int position = horizontal ? x : y;
            const int first = std::max(-radius, -position);
            const int last = std::min(radius, length - 1 - position);
            const ptrdiff_t centre = ptrdiff_t(y) * width + x;
            double sum = 0.0;
            for (int offset = first; offset <= last; ++offset)
                sum += kernel[size_t(offset + radius)] * values[size_t(centre + offset * step)];
            result[size_t(centre)] = sum;
        }
    }
    return result;
}

QImage blurredShadow(const QImage &mask, double sigma)
{
    const int width = mask.width();
    const int height = mask.height();
    const QImage source = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::vector<double> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * size_t(width) + size_t(x)] = qAlpha(line[x]);
    }

    const std::vector<double> kernel = gaussianKernel(sigma);
    const std::vector<double> blurred =
        blurPass(blurPass(alpha, width, height, kernel, Qt::Horizontal), width, height, kernel, Qt::Vertical);

    QImage shadow(width, height, QImage::Format_ARGB32_Premultiplied);
    shadow.setDevicePixelRatio(mask.devicePixelRatio());
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // std::lround rounds halves away from zero; the clamp guards the sum's rounding error.
            const long value = std::lround(blurred[size_t(y) * size_t(width) + size_t(x)]);
            line[x] = qRgba(0, 0, 0, int(std::clamp(value, 0L, 255L)));
        }
    }
    return shadow;
}

} // namespace ShadowBlur
