// Software rendering of a 1000 x 1000-vertex surface (about two million
// triangles) at 1280 x 800, and SetData of it, against the baseline of one
// plain pass that transforms every vertex by the same matrix (with the
// perspective divide) measured in the same run.
//
//   plot_render_bench [--opengl] [grid] [repetitions] [width height]
//
// --opengl adds the frame time of the OpenGL back end while the camera turns
// (needs a display; under xvfb-run that is Mesa's software rasterizer).
#include "plot_control/GlSceneRenderer.h"
#include "plot_control/SceneRenderer.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <QString>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Best of reps: the machine is shared, and interference only ever adds time.
template <class F>
double BestMs(int reps, F&& f)
{
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        const auto a = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - a).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bool opengl = false;
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--opengl") {
            opengl = true;
            for (int k = i; k + 1 < argc; ++k)
                argv[k] = argv[k + 1];
            --argc;
            break;
        }
    const int n = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;
    const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    std::vector<plot::SurfaceVertex> vertices;
    vertices.reserve(std::size_t(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double x = 10.0 * i / (n - 1), z = 4.0 * j / (n - 1);
            const double y = std::sin(x) * std::cos(1.7 * z) + 0.02 * std::sin(37 * x + 53 * z);
            const std::uint32_t c = (std::uint32_t(25 * i / n * 10) << 16) | (std::uint32_t(255 * j / n) << 8) | 0x40;
            vertices.push_back({x, y, z, c, 0});
        }
    std::vector<std::uint32_t> indices;
    indices.reserve(std::size_t(n - 1) * (n - 1) * 6);
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            const std::uint32_t k00 = std::uint32_t(i * n + j), k01 = k00 + 1, k10 = k00 + std::uint32_t(n), k11 = k10 + 1;
            indices.insert(indices.end(), {k00, k01, k10, k01, k11, k10});
        }

    const QSize size = argc > 4 ? QSize(std::max(16, std::atoi(argv[3])), std::max(16, std::atoi(argv[4]))) : QSize(1280, 800);
    plot::OrbitCamera camera;

    // The first frame after SetData also maps the data, computes normals and
    // recognises the grid and builds its coarse level: once, on a fresh scene.
    double firstFrameMs = 0;
    {
        plot::Scene fresh;
        plot::SceneRenderer renderer;
        plot::RenderOptions o;
        o.supersample = 1;
        (void)renderer.Render(fresh, camera, size, o); // the process's first text loads the fonts: not counted
        const auto a = Clock::now();
        fresh.AddSurface()->SetData(vertices.data(), vertices.size(), indices.data(), indices.size());
        (void)renderer.Render(fresh, camera, size, o);
        firstFrameMs = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
    }

    plot::Scene scene;
    auto mesh = scene.AddSurface();
    const double setDataMs = BestMs(reps, [&] {
        mesh->SetData(vertices.data(), vertices.size(), indices.data(), indices.size());
    });
    // First use after SetData maps the data into the unit cube and computes normals.
    const double prepareMs = BestMs(reps, [&] {
        mesh->SetData(vertices.data(), vertices.size(), indices.data(), indices.size());
        scene.Prepare();
    }) - setDataMs;

    const plot::ViewProjection vp = camera.Matrices(size.width(), size.height());

    // Baseline: one plain pass transforming all vertices.
    const auto& unit = mesh->UnitPositions();
    std::vector<plot::Vec3> out(unit.size());
    volatile float sink = 0;
    const double transformMs = BestMs(reps, [&] {
        const plot::Mat4& m = vp.viewProjection;
        for (std::size_t i = 0; i < unit.size(); ++i) {
            const plot::Vec4 c = m * plot::Vec4{unit[i].x, unit[i].y, unit[i].z, 1};
            const float iw = 1.0f / c.w;
            out[i] = {c.x * iw, c.y * iw, c.z * iw};
        }
        sink = sink + out[unit.size() / 2].x;
    });

    plot::SceneRenderer renderer;
    QImage target(size, QImage::Format_RGB32);
    const auto geometry = [&](int threads) {
        plot::RenderOptions o;
        o.threads = threads;
        return BestMs(reps, [&] {
            target.fill(Qt::white);
            renderer.RenderGeometry(scene, vp, target, o);
        });
    };
    const double geometry1 = geometry(1), geometry2 = geometry(2);
    const plot::RenderStats drawn = renderer.LastStats();
    const auto full = [&](int supersample) {
        plot::RenderOptions o;
        o.supersample = supersample;
        return BestMs(reps, [&] { (void)renderer.Render(scene, camera, size, o); });
    };
    const double full1 = full(1), full2 = full(2);

    // What level of detail changes in the picture: mean absolute difference
    // per channel (0..255) against full detail, over the whole frame and over
    // the pixels where either frame shows the surface, and the share of
    // pixels that differ by more than 24 in some channel.
    struct Difference {
        double mean = 0, surfaceMean = 0, bigShare = 0;
    };
    const auto compare = [&](int supersample) {
        plot::RenderOptions o;
        o.supersample = supersample;
        o.levelOfDetail = false;
        const QImage exact = renderer.Render(scene, camera, size, o);
        o.levelOfDetail = true;
        const QImage lod = renderer.Render(scene, camera, size, o);
        o.decorations = false;
        o.background = Qt::black;
        const QImage mask = renderer.Render(scene, camera, size, o);
        Difference d;
        double sum = 0, surfaceSum = 0;
        std::size_t surfacePixels = 0, big = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb p = exact.pixel(x, y), q = lod.pixel(x, y);
                const int dr = std::abs(qRed(p) - qRed(q)), dg = std::abs(qGreen(p) - qGreen(q)),
                          db = std::abs(qBlue(p) - qBlue(q));
                sum += dr + dg + db;
                big += std::max({dr, dg, db}) > 24;
                if (mask.pixel(x, y) != qRgb(0, 0, 0)) {
                    surfaceSum += dr + dg + db;
                    ++surfacePixels;
                }
            }
        const double pixels = double(size.width()) * size.height();
        d.mean = sum / (3 * pixels);
        d.surfaceMean = surfacePixels ? surfaceSum / (3.0 * double(surfacePixels)) : 0;
        d.bigShare = double(big) / pixels;
        if (const char* dir = std::getenv("PLOT_BENCH_IMAGES")) {
            exact.save(QStringLiteral("%1/exact-%2x.png").arg(dir).arg(supersample));
            lod.save(QStringLiteral("%1/lod-%2x.png").arg(dir).arg(supersample));
        }
        return d;
    };
    const Difference diff1 = compare(1), diff2 = compare(2);

    std::printf("surface %d x %d vertices, %zu triangles, frame %d x %d, best of %d\n", n, n, indices.size() / 3,
                size.width(), size.height(), reps);
    std::printf("surface level drawn: grid step %d, %zu triangles\n", drawn.coarsestStep, drawn.triangles);
    std::printf("baseline  transform pass (1 thread)          %8.2f ms\n", transformMs);
    std::printf("SetData   copy + check                       %8.2f ms\n", setDataMs);
    std::printf("          first-use mapping + normals        %8.2f ms\n", prepareMs);
    std::printf("          SetData + first frame (no AA)      %8.2f ms  (recognises the grid, builds the level)\n",
                firstFrameMs);
    std::printf("software  geometry, 1 thread                 %8.2f ms  ratio %5.2f\n", geometry1, geometry1 / transformMs);
    std::printf("software  geometry, 2 threads                %8.2f ms  ratio %5.2f\n", geometry2, geometry2 / transformMs);
    std::printf("software  full frame, decorations, no AA     %8.2f ms  ratio %5.2f\n", full1, full1 / transformMs);
    std::printf("software  full frame, decorations, 2x2 AA    %8.2f ms  ratio %5.2f\n", full2, full2 / transformMs);
    if (opengl) {
        // Steady frames of a turning camera, as while the user drags: the
        // vertex buffers are uploaded by the first frame only.
        QSurfaceFormat format;
        format.setDepthBufferSize(24);
        format.setStencilBufferSize(8);
        QOpenGLContext context;
        context.setFormat(format);
        QOffscreenSurface surface;
        if (!context.create() || (surface.setFormat(context.format()), surface.create(), !context.makeCurrent(&surface))) {
            std::printf("opengl    no context\n");
        } else {
            QOpenGLFramebufferObjectFormat fboFormat;
            fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
            fboFormat.setSamples(4);
            QOpenGLFramebufferObject fbo(size, fboFormat);
            fbo.bind();
            plot::GlSceneRenderer gl;
            QString error;
            if (!gl.Initialize(&error)) {
                std::printf("opengl    %s\n", qPrintable(error));
            } else {
                QOpenGLPaintDevice device(size);
                double yaw = plot::OrbitCamera::kDefaultYaw;
                plot::OrbitCamera turning;
                const auto frame = [&] {
                    turning.SetOrientation(yaw += 3, plot::OrbitCamera::kDefaultPitch);
                    QPainter painter(&device);
                    gl.Paint(painter, scene, turning.Matrices(size.width(), size.height()));
                    painter.end();
                    context.functions()->glFinish();
                };
                const double first = BestMs(1, frame);
                const double steady = BestMs(reps, frame);
                std::printf("opengl    %s\n", reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER)));
                std::printf("opengl    first frame (upload)              %8.2f ms\n", first);
                std::printf("opengl    turning camera, per frame         %8.2f ms  (%.1f frames/s)\n", steady,
                            1000.0 / steady);
                gl.ReleaseResources();
            }
            context.doneCurrent();
        }
    }
    for (const auto& [name, d] : {std::pair{"no AA", diff1}, {"2x2 AA", diff2}})
        std::printf("picture   level of detail vs full, %-7s  mean %.2f, on the surface %.2f, pixels off by > 24: "
                    "%.2f %%\n",
                    name, d.mean, d.surfaceMean, 100 * d.bigShare);
    return 0;
}
