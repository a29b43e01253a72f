#pragma once
// Helpers of the renderer tests: scenes seen from a known view, pixel access
// and counting, and a comparison that leaves the images and their difference
// on disk on failure.
#include "plot_control/SceneRenderer.h"
#include "support/ImageDifference.h"

#include <QDir>
#include <QImage>
#include <QRect>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace plot::test {

using vantix::test::MeanDifference;

// The unused word set, so that a renderer reading it shows.
inline SurfaceVertex V(double x, double y, double z, std::uint32_t rgb = 0x0000FF) { return {x, y, z, rgb, 0xDEADBEEF}; }

// Without decorations, flat vertex colours unless lit.
inline RenderOptions Plain(int supersample = 1, bool lighting = false, int threads = 0)
{
    RenderOptions o;
    o.decorations = false;
    o.lighting = lighting;
    o.supersample = supersample;
    o.threads = threads;
    return o;
}

// Seen from straight above by default: x to the right, z down the screen.
inline ViewProjection View(QSize size, double yaw = 0, double pitch = 90)
{
    OrbitCamera camera;
    camera.SetOrientation(yaw, pitch);
    return camera.Matrices(size.width(), size.height());
}

// Where data point (x, y, z) lies on the screen.
inline QPointF Screen(Scene& scene, const ViewProjection& vp, double x, double y, double z)
{
    scene.Prepare();
    float sx = -1, sy = -1;
    if (!vp.Project(scene.ToUnit(x, y, z), &sx, &sy))
        ADD_FAILURE() << "behind the eye: " << x << ", " << y << ", " << z;
    return {sx, sy};
}

inline QRgb Pixel(const QImage& image, double x, double y)
{
    return image.pixel(int(std::floor(x)), int(std::floor(y)));
}

inline bool Near(QRgb a, QRgb b, int tolerance)
{
    return vantix::test::ChannelDifference(a, b) <= tolerance;
}

// Pixels of image within area (all of it when empty) for which is(pixel) holds.
template <class Predicate>
int Count(const QImage& image, Predicate is, QRect area = {})
{
    area = area.isEmpty() ? image.rect() : area & image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += is(image.pixel(x, y)) ? 1 : 0;
    return n;
}

// The mean difference; above limit, <name>-actual, -expected and -diff are
// written for a look.
inline double CompareImages(const QImage& actual, const QImage& expected, double limit, const QString& name)
{
    const double mean = MeanDifference(actual, expected);
    if (mean > limit && actual.size() == expected.size()) {
        const QByteArray env = qgetenv("VANTIX_TEST_TMP");
        const QString folder = (env.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(env)) + "/plot_control/";
        QDir().mkpath(folder);
        for (const auto& [image, part] : {std::pair{actual, "-actual"}, {expected, "-expected"},
                                          {vantix::test::DifferenceImage(actual, expected), "-diff"}})
            image.save(folder + name + part + ".png");
    }
    return mean;
}

} // namespace plot::test
