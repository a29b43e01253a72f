#pragma once
// Image helpers for the renderer tests: pixel access, region searches and a
// comparison that leaves the images and their difference on disk on failure.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>

#include "support/ImageDifference.h"

#include <cmath>
#include <cstdlib>

namespace plot::test {

inline QRgb Pixel(const QImage& image, float x, float y)
{
    return image.pixel(int(std::floor(x)), int(std::floor(y)));
}

inline bool Near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline QString Describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

inline QString OutputFolder()
{
    const QByteArray env = qgetenv("VANTIX_TEST_TMP");
    const QString folder = (env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env)) + "/plot_control";
    QDir().mkpath(folder);
    return folder;
}

inline void Save(const QImage& image, const QString& name)
{
    image.save(OutputFolder() + "/" + name + ".png");
}

using vantix::test::MeanDifference;

// Compares and, when the mean difference exceeds the limit, writes
// <name>-actual, -expected and -diff (amplified) for a look.
inline double CompareImages(const QImage& actual, const QImage& expected, double limit, const QString& name)
{
    const double mean = MeanDifference(actual, expected);
    if (mean > limit && actual.size() == expected.size()) {
        QImage diff(actual.size(), QImage::Format_RGB32);
        for (int y = 0; y < diff.height(); ++y)
            for (int x = 0; x < diff.width(); ++x) {
                const QRgb p = actual.pixel(x, y), q = expected.pixel(x, y);
                const int d = std::min(255, 4 * (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                                                 std::abs(qBlue(p) - qBlue(q))) / 3);
                diff.setPixel(x, y, qRgb(d, d, d));
            }
        Save(actual, name + "-actual");
        Save(expected, name + "-expected");
        Save(diff, name + "-diff");
    }
    return mean;
}

} // namespace plot::test
