// Software frames of a scatter of pixel-sized points coloured by value
// (1,000,000 points by default: uniform random X and Y inputs, a noisy
// function value; diameter 4 pixels) at 1280 x 800 and 1920 x 1080, draft
// (no antialiasing, as while the view moves) and settled (2 x 2
// antialiasing, as the control draws after a pause), each with decorations
// as the control draws them, against the baseline of ONE TRANSFORM PASS of
// the points: each point's position multiplied by the frame's view-projection
// matrix, divided by w and written to a screen array, on one thread.
//
// Runs are paired and alternated (transform, frame, transform, frame, ...);
// the ratio printed is the median of the pairs' ratios, the milliseconds the
// medians of each.
//
//   scatter_points_bench [points] [pairs] [pixel size]
#include "TransformPass.h"
#include "plot_control/SceneRenderer.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
double Ms(F&& f)
{
    const auto a = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - a).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

using bench::ScreenPoint;
using bench::TransformPass;

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::size_t count = argc > 1 ? std::size_t(std::max(1, std::atoi(argv[1]))) : 1000000;
    const int pairs = argc > 2 ? std::max(3, std::atoi(argv[2])) : 21;
    const double pixels = argc > 3 ? std::atof(argv[3]) : 4.0;

    std::mt19937_64 random(20240601);
    std::uniform_real_distribution<double> ux(0.0, 10.0), uz(0.0, 4.0);
    std::normal_distribution<double> noise(0.0, 0.15);
    std::vector<plot::SurfaceVertex> points(count);
    for (auto& p : points) {
        p.x = ux(random);
        p.z = uz(random);
        p.y = std::sin(p.x) * std::cos(1.7 * p.z) + noise(random);
        p.color = 0xFFFFFF;
        p.unused = 0;
    }

    plot::OrbitCamera camera;
    plot::SceneRenderer renderer;
    {
        // The process's first text loads the fonts: not counted.
        plot::Scene empty;
        (void)renderer.Render(empty, camera, QSize(320, 200));
    }
    plot::Scene scene;
    auto cloud = scene.AddPointCloud();
    cloud->SetPixelSize(pixels);
    cloud->SetColorByValue(true);
    const double setDataMs = Ms([&] { cloud->SetData(points.data(), points.size(), 0.0); });
    const double prepareMs = Ms([&] { scene.Prepare(); }); // maps into the cube, colours by value

    std::printf("scatter: %zu points, pixel size %.1f, coloured by value; %d alternated pairs a case\n", count, pixels,
                pairs);
    std::printf("SetData %.1f ms; first Prepare (mapping + value colours) %.1f ms\n", setDataMs, prepareMs);
    std::printf("%-11s %-8s %12s %10s %12s %10s\n", "frame", "quality", "transform ms", "frame ms", "ratio (med)",
                "discs");

    std::vector<ScreenPoint> screen(count);
    volatile float sink = 0;
    for (const QSize size : {QSize(1280, 800), QSize(1920, 1080)}) {
        const plot::ViewProjection vp = camera.Matrices(size.width(), size.height());
        for (const int supersample : {1, 2}) {
            plot::RenderOptions o;
            o.supersample = supersample;
            (void)renderer.Render(scene, vp, size, o); // warm: buffers sized
            std::vector<double> transform, frame, ratio;
            for (int k = 0; k < pairs; ++k) {
                const double t = Ms([&] { TransformPass(cloud->UnitPositions(), vp, size.width(), size.height(), screen); });
                sink = sink + screen[count / 2].x;
                const double f = Ms([&] { (void)renderer.Render(scene, vp, size, o); });
                transform.push_back(t);
                frame.push_back(f);
                ratio.push_back(f / t);
            }
            std::printf("%4d x %-4d  %-8s %12.2f %10.2f %12.2f %10zu\n", size.width(), size.height(),
                        supersample == 1 ? "draft" : "settled", Median(transform), Median(frame), Median(ratio),
                        renderer.LastStats().discs);
        }
    }

    // Where the draft frame's time goes: the 3-D part alone, without decorations.
    {
        const QSize size(1280, 800);
        const plot::ViewProjection vp = camera.Matrices(size.width(), size.height());
        QImage target(size, QImage::Format_RGB32);
        plot::RenderOptions o;
        o.supersample = 1;
        std::vector<double> geometry, transform;
        for (int k = 0; k < pairs; ++k) {
            transform.push_back(Ms([&] { TransformPass(cloud->UnitPositions(), vp, size.width(), size.height(), screen); }));
            geometry.push_back(Ms([&] {
                target.fill(Qt::white);
                renderer.RenderGeometry(scene, vp, target, o);
            }));
        }
        std::printf("1280 x 800  points only (no decorations, draft): %.2f ms, ratio %.2f\n", Median(geometry),
                    Median(geometry) / Median(transform));
        o.decorations = true;
        plot::Scene none;
        std::vector<double> decorations;
        for (int k = 0; k < pairs; ++k)
            decorations.push_back(Ms([&] { (void)renderer.Render(none, vp, size, o); }));
        std::printf("1280 x 800  empty chart (decorations only, draft): %.2f ms\n", Median(decorations));
    }
    return 0;
}
