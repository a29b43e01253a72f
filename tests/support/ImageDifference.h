#pragma once
// How far two pictures are apart, for tests comparing renders. Header only.
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace vantix::test {

// The largest difference of a channel between two pixels (0..255).
inline int ChannelDifference(QRgb p, QRgb q)
{
    return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
}

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

// The differences of two pictures of one size, amplified four times, for a
// look when a comparison fails.
inline QImage DifferenceImage(const QImage& a, const QImage& b)
{
    QImage diff(a.size(), QImage::Format_RGB32);
    for (int y = 0; y < diff.height(); ++y)
        for (int x = 0; x < diff.width(); ++x) {
            const int d = std::min(255, 4 * ChannelDifference(a.pixel(x, y), b.pixel(x, y)));
            diff.setPixel(x, y, qRgb(d, d, d));
        }
    return diff;
}

} // namespace vantix::test
