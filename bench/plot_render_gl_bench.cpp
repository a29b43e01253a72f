// OpenGL frames of the render benchmark's charts while the camera turns: the
// back end a chart window uses on a machine with a GPU, at 1280 x 800 and
// 1920 x 1080 (the software frames: plot_render_bench). Needs a display;
// under xvfb-run that is Mesa's software rasterizer.
//
//   plot_render_gl_bench [--big] [--rounds N]
#include "RenderScenes.h"
#include "plot_control/GlSceneRenderer.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

namespace {

// Steady frames of a turning camera; -1 without a context.
double OpenGLFrameMs(plot::Scene& scene, QSize size, int rounds)
{
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QOpenGLContext context;
    context.setFormat(format);
    QOffscreenSurface surface;
    if (!context.create())
        return -1;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return -1;
    double ms = -1;
    {
        QOpenGLFramebufferObjectFormat fboFormat;
        fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
        fboFormat.setSamples(4);
        QOpenGLFramebufferObject fbo(size, fboFormat);
        fbo.bind();
        plot::GlSceneRenderer gl;
        if (gl.Initialize()) {
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
            frame(); // uploads the series
            std::vector<double> t;
            for (int r = 0; r < rounds; ++r)
                t.push_back(bench::Ms(frame));
            ms = bench::Median(t);
            gl.ReleaseResources();
        }
    }
    context.doneCurrent();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    bool big = false;
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--big")
            big = true;
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: plot_render_gl_bench [--big] [--rounds N]\n");
            return 2;
        }
    }
    std::printf("OpenGL, turning camera: median ms a frame of %d\n", rounds);
    const auto run = [&](const std::string& name, const std::function<void(plot::Scene&)>& make) {
        plot::Scene scene;
        make(scene);
        for (const QSize size : {QSize(1280, 800), QSize(1920, 1080)})
            std::printf("| %-22s | %4dx%-4d | %8.1f |\n", name.c_str(), size.width(), size.height(),
                        OpenGLFrameMs(scene, size, rounds));
    };
    std::vector<int> grids = {300, 1000};
    if (big)
        grids.push_back(2000);
    for (const int n : grids)
        for (const double noise : {0.001, 0.01})
            run(std::to_string(n) + "x" + std::to_string(n) + (noise < 0.005 ? " 0.1%" : " 1%"),
                [&](plot::Scene& s) { bench::MakeSurface(s, n, noise); });
    for (const std::size_t count : big ? std::vector<std::size_t>{1000000, 5000000} : std::vector<std::size_t>{1000000})
        run(std::to_string(count / 1000000) + " M points", [&](plot::Scene& s) { bench::MakeCloud(s, count); });
    return 0;
}
