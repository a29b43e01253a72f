#pragma once
// How far two pictures are apart, for tests comparing renders. Header only.
#include <QImage>

#include <cstdlib>

namespace vantix::test {

// Mean absolute difference per channel (0..255) over all pixels; 255 for
// pictures of different sizes or none.
inline double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace vantix::test
