// plot-demo: renders a generated surface and point cloud to PNG files with the
// chart's software or OpenGL renderer.
//
//   plot-demo [--renderer software|opengl|both] [--out DIR] [--size WxH]
//             [--grid N] [--points N] [--yaw DEG] [--pitch DEG] [--fov DEG]
//             [--wireframe] [--water STEPS] [--supersample N]
//
// Writes DIR/surface-<renderer>.png and DIR/points-<renderer>.png. Exit code 2
// when OpenGL was asked for and no context could be created.
#include "SampleData.h"
#include "plot_control/GlSceneRenderer.h"
#include "plot_control/SceneRenderer.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

namespace {

struct Settings {
    QStringList renderers{"software"};
    QString out = ".";
    QSize size{1280, 800};
    int grid = 100;
    int points = 600;
    double yaw = plot::OrbitCamera::kDefaultYaw;
    double pitch = plot::OrbitCamera::kDefaultPitch;
    int fov = plot::OrbitCamera::kDefaultFieldOfView;
    bool wireframe = false;
    int water = -1; // steps above the bottom; -1 = off
    int supersample = 2;
};

int Usage()
{
    std::fprintf(stderr, "usage: plot-demo [--renderer software|opengl|both] [--out DIR] [--size WxH] [--grid N]\n"
                         "                 [--points N] [--yaw DEG] [--pitch DEG] [--fov DEG] [--wireframe]\n"
                         "                 [--water STEPS] [--supersample N]\n");
    return 1;
}

bool Render(const QString& renderer, const QString& name, plot::Scene& scene, const Settings& s)
{
    plot::OrbitCamera camera;
    camera.SetOrientation(s.yaw, s.pitch);
    camera.SetFieldOfView(s.fov);
    plot::RenderOptions options;
    options.supersample = s.supersample;
    QImage image;
    if (renderer == "opengl") {
        QString error;
        image = plot::RenderOpenGLToImage(scene, camera, s.size, options, &error);
        if (image.isNull()) {
            std::fprintf(stderr, "plot-demo: OpenGL: %s\n", qPrintable(error));
            return false;
        }
    } else {
        plot::SceneRenderer software;
        image = software.Render(scene, camera, s.size, options);
    }
    const QString path = QDir(s.out).filePath(QStringLiteral("%1-%2.png").arg(name, renderer));
    if (!image.save(path)) {
        std::fprintf(stderr, "plot-demo: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Settings s;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto next = [&]() -> QString { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == "--renderer") {
            const QString r = next();
            if (r == "both")
                s.renderers = {"software", "opengl"};
            else if (r == "software" || r == "opengl")
                s.renderers = {r};
            else
                return Usage();
        } else if (a == "--out") {
            s.out = next();
        } else if (a == "--size") {
            const QStringList wh = next().split('x');
            if (wh.size() != 2 || wh[0].toInt() <= 0 || wh[1].toInt() <= 0)
                return Usage();
            s.size = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (a == "--grid") {
            s.grid = next().toInt();
        } else if (a == "--points") {
            s.points = next().toInt();
        } else if (a == "--yaw") {
            s.yaw = next().toDouble();
        } else if (a == "--pitch") {
            s.pitch = next().toDouble();
        } else if (a == "--fov") {
            s.fov = next().toInt();
        } else if (a == "--wireframe") {
            s.wireframe = true;
        } else if (a == "--water") {
            s.water = next().toInt();
        } else if (a == "--supersample") {
            s.supersample = next().toInt();
        } else {
            return Usage();
        }
    }
    QDir().mkpath(s.out);

    plot::Scene surface;
    const auto data = plot::demo::MakeTuningSurface(s.grid);
    surface.AddSurface()->SetData(data.vertices.data(), data.vertices.size(), data.indices.data(),
                                  data.indices.size());
    surface.SetAxisTitles(L"ctrl:Kp", L"overshoot", L"ctrl:Ki");
    surface.SetWireFrame(s.wireframe);
    if (s.water >= 0) {
        surface.EnableWaterLevel(true);
        while (surface.WaterLevelStep() > s.water)
            surface.WaterLevelDown();
        while (surface.WaterLevelStep() < s.water && surface.WaterLevelStep() < plot::Scene::kWaterSteps)
            surface.WaterLevelUp();
    }

    plot::Scene cloud;
    const auto points = plot::demo::MakePointCloud(s.points);
    cloud.AddPointCloud()->SetData(points.data(), points.size(), 0.012);
    cloud.SetAxisTitles(L"ctrl:Kp", L"settling time", L"ctrl:Ki");

    int rc = 0;
    for (const QString& r : s.renderers) {
        if (!Render(r, "surface", surface, s) || !Render(r, "points", cloud, s))
            rc = r == "opengl" ? 2 : 1;
    }
    return rc;
}
