#pragma once

#include <QImage>

#include <vector>

// The Gaussian blur behind popup shadows. Kept free of widgets so that each step can be checked
// on its own; all work happens on the physical pixel grid.
namespace ShadowBlur {

// 2r + 1 weights for offsets -r … r with r = ceil(3 × sigma), summing to 1.
std::vector<double> gaussianKernel(double sigma);

// One pass along rows (horizontal) or columns (vertical) of a width × height grid of values
// stored row by row. Samples beyond the border count as 0, so a shape near an edge fades out
// instead of smearing the edge pixels outwards.
std::vector<double> blurPass(const std::vector<double> &values, int width, int height,
                             const std::vector<double> &kernel, Qt::Orientation orientation);

// Blurs the alpha channel of `mask` and returns a pure black premultiplied image of the same size
// and device pixel ratio; colour channels of the mask are ignored.
QImage blurredShadow(const QImage &mask, double sigma);

} // namespace ShadowBlur
