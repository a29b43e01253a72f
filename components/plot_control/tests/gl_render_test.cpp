// The OpenGL back end draws the same picture as the software renderer, and
// the control chooses it only where the driver is worth it. Runs under
// xvfb-run with Mesa's llvmpipe.
#include "ImageCheck.h"
#include "PlotControl.h"
#include "SampleData.h"
#include "plot_control/GlSceneRenderer.h"
#include "plot_control/OpenGLSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace plot;

namespace {

// Mean absolute difference per channel allowed between the two back ends:
// they differ in antialiasing (2 x 2 supersampling against 4 x MSAA), in
// text rasterization and in rounding of the interpolated colours.
constexpr double kMaxMeanDifference = 3.0;

const SurfaceVertex kPoints[] = {{1.0, 30.0, 0.1, 0x2040FF, 0}, {4.0, 35.0, 0.35, 0xFF8000, 0}};

void Fill(Scene& scene)
{
    const auto data = demo::MakeTuningSurface(40);
    scene.AddSurface()->SetData(data.vertices.data(), data.vertices.size(), data.indices.data(), data.indices.size());
    scene.AddPointCloud()->SetData(kPoints, 2, 0.06);
    scene.SetAxisTitles(L"ctrl:Kp", L"overshoot", L"ctrl:Ki");
}

// Both back ends through the renderer interface; the mean difference.
double Compare(Scene& scene, const QString& name, QSize size = {480, 360}, const RenderOptions& options = {})
{
    const ViewProjection vp = OrbitCamera().Matrices(size.width(), size.height());
    GlSceneRenderer gl;
    SceneRenderer software;
    const QImage a = static_cast<Renderer&>(gl).Render(scene, vp, size, options);
    EXPECT_FALSE(a.isNull()) << "no OpenGL context";
    return test::CompareImages(a, static_cast<Renderer&>(software).Render(scene, vp, size, options),
                               kMaxMeanDifference, name);
}

struct Control {
    ComPtr<IPlotControl> control;
    CPlotWidget* widget = nullptr;
    Control()
    {
        EXPECT_EQ(CreatePlotControl(uuidof<IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
        widget = static_cast<CPlotWidget*>(ComPtr<IQWidgetHost>(control)->GetWidget());
        widget->resize(320, 240);
        widget->show();
    }
};

} // namespace

// Water, marker, wireframe, log decades and category names (the overlay both
// back ends share) come out alike.
TEST(OpenGLRenderer, MatchesTheSoftwareImage)
{
    Scene scene;
    Fill(scene);
    scene.EnableWaterLevel(true);
    scene.WaterLevelUp();
    scene.SetMarker(std::array<double, 3>{2.0, 20.0, 0.2});
    EXPECT_LT(Compare(scene, "gl-vs-software"), kMaxMeanDifference);
    scene.SetWireFrame(true);
    EXPECT_LT(Compare(scene, "gl-vs-software-wire"), kMaxMeanDifference);
    scene.SetWireFrame(false);
    const QImage plain = RenderOpenGLToImage(scene, OrbitCamera(), QSize(480, 360));
    scene.SetAxisTicks(0, {true, false, {}});
    scene.SetAxisTicks(2, {false, true, {{0.1, L"adam"}, {0.25, L"rmsprop"}, {0.4, L"sgd"}}});
    EXPECT_LT(Compare(scene, "gl-vs-software-ticks"), kMaxMeanDifference);
    EXPECT_GT(test::MeanDifference(RenderOpenGLToImage(scene, OrbitCamera(), QSize(480, 360)), plain), 0.05);
}

// Pixel-sized points are discs of the same size and colour in both back
// ends, with and without antialiasing.
TEST(OpenGLRenderer, PixelPointsMatchTheSoftwareDiscs)
{
    Scene scene;
    const SurfaceVertex points[] = {{0, 0, 0, 0, 0}, {10, 5, 4, 0, 0}, {3, 1, 1, 0, 0}, {7, 4, 3, 0, 0}};
    auto cloud = scene.AddPointCloud();
    cloud->SetData(points, 4, 0);
    cloud->SetColorByValue(true);
    cloud->SetPixelSize(14);
    const QSize size(320, 240);
    for (const int supersample : {1, 2}) {
        SCOPED_TRACE(supersample);
        RenderOptions options;
        options.decorations = false;
        options.supersample = supersample;
        QString error;
        const QImage gl = RenderOpenGLToImage(scene, OrbitCamera(), size, options, &error);
        ASSERT_FALSE(gl.isNull()) << error.toStdString();
        const QImage sw = SceneRenderer().Render(scene, OrbitCamera(), size, options);
        const auto covered = [](const QImage& image) {
            return double(test::Count(image, [](QRgb p) { return (765 - qRed(p) - qGreen(p) - qBlue(p)) / 765.0 > 0.02; }));
        };
        EXPECT_NEAR(covered(gl), covered(sw), 0.12 * covered(sw));
        EXPECT_LT(test::CompareImages(gl, sw, 1.0, QStringLiteral("gl-vs-software-points-%1").arg(supersample)), 1.0);
    }
}

// Which back end draws follows the driver the probe sees; the choice is
// reported as made either way (the driver here is Mesa's llvmpipe). Drawing
// with OpenGL, a series goes to the GPU once: camera moves upload nothing.
TEST(OpenGLRenderer, ControlDrawsInSoftwareOnSoftwareDriversAndUploadsOnce)
{
    for (const auto& [renderer, openGL] : {std::pair{std::optional(QStringLiteral("NVIDIA GeForce RTX 3060/PCIe/SSE2")), true},
                                           {std::optional<QString>(), false}}) { // the real driver
        SCOPED_TRACE(renderer.value_or(QStringLiteral("driver")).toStdString());
        SetOpenGLRendererForTesting(renderer);
        Control c;
        ASSERT_EQ(c.control->Initialize(LONG(RendererCode::OpenGL)), S_OK);
        LONG mode = -1;
        c.control->GetVideoMode(&mode);
        EXPECT_EQ(mode, LONG(RendererCode::OpenGL));
        EXPECT_EQ(c.widget->DrawsWithOpenGL(), openGL);
        const auto data = demo::MakeTuningSurface(40);
        ComPtr<ISurfaceSeries> surface;
        ComPtr<IPointSeries> cloud;
        ASSERT_EQ(c.control->CreateSurfaceSeries(&surface), S_OK);
        ASSERT_EQ(surface->SetData(data.vertices.data(), LONG(data.vertices.size()), data.indices.data(),
                                   LONG(data.indices.size())),
                  S_OK);
        ASSERT_EQ(c.control->CreatePointSeries(&cloud), S_OK);
        ASSERT_EQ(cloud->SetData(kPoints, 2, 0.06), S_OK);
        const QImage first = c.widget->grab().toImage();
        EXPECT_EQ(c.widget->OpenGLUploads(), openGL ? 2u : 0u);
        for (int k = 0; k < 6; ++k) {
            static_cast<CPlotControl*>(c.control.Get())->Model().camera.Orbit(25, 7);
            c.widget->Redraw();
            c.widget->grab();
        }
        EXPECT_NE(first, c.widget->grab().toImage()); // the frames did move
        EXPECT_EQ(c.widget->OpenGLUploads(), openGL ? 2u : 0u);
        ASSERT_EQ(cloud->SetData(kPoints, 1, 0.06), S_OK); // new data go up once more
        c.widget->grab();
        c.widget->grab();
        EXPECT_EQ(c.widget->OpenGLUploads(), openGL ? 3u : 0u);
        ASSERT_EQ(c.control->SetVideoMode(LONG(RendererCode::Software)), S_OK);
        EXPECT_FALSE(c.widget->DrawsWithOpenGL());
    }
    SetOpenGLRendererForTesting(std::nullopt);
}
