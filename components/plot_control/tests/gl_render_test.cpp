// The OpenGL back end draws the same picture as the software renderer. Runs
// under xvfb-run with Mesa's llvmpipe.
#include "ImageCheck.h"
#include "PlotControl.h"
#include "SampleData.h"
#include "plot_control/GlSceneRenderer.h"
#include "plot_control/OpenGLSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

using namespace plot;

namespace {

// Mean absolute difference per channel allowed between the two back ends:
// they differ in antialiasing (2 x 2 supersampling against 4 x MSAA), in
// text rasterization and in rounding of the interpolated colours.
constexpr double kMaxMeanDifference = 3.0;

void Fill(Scene& scene)
{
    const auto data = demo::MakeTuningSurface(40);
    scene.AddSurface()->SetData(data.vertices.data(), data.vertices.size(), data.indices.data(), data.indices.size());
    const SurfaceVertex points[] = {{1.0, 30.0, 0.1, 0x2040FF, 0}, {4.0, 35.0, 0.35, 0xFF8000, 0}};
    scene.AddPointCloud()->SetData(points, 2, 0.06);
    scene.SetAxisTitles(L"ctrl:Kp", L"overshoot", L"ctrl:Ki");
}

} // namespace

TEST(OpenGLRenderer, MatchesTheSoftwareImage)
{
    Scene scene;
    Fill(scene);
    scene.EnableWaterLevel(true);
    scene.WaterLevelUp();
    scene.SetMarker(std::array<double, 3>{2.0, 20.0, 0.2});
    OrbitCamera camera;
    const QSize size(480, 360);
    RenderOptions options;
    QString error;
    const QImage gl = RenderOpenGLToImage(scene, camera, size, options, &error);
    ASSERT_FALSE(gl.isNull()) << error.toStdString();
    SceneRenderer software;
    const QImage sw = software.Render(scene, camera, size, options);
    const double mean = test::CompareImages(gl, sw, kMaxMeanDifference, "gl-vs-software");
    EXPECT_LT(mean, kMaxMeanDifference);
    std::printf("mean difference OpenGL - software: %.3f\n", mean);
    test::Save(gl, "gl");
    test::Save(sw, "software");

    scene.SetWireFrame(true);
    const QImage glWire = RenderOpenGLToImage(scene, camera, size, options, &error);
    const QImage swWire = software.Render(scene, camera, size, options);
    const double wireMean = test::CompareImages(glWire, swWire, kMaxMeanDifference, "gl-vs-software-wire");
    EXPECT_LT(wireMean, kMaxMeanDifference);
    std::printf("mean difference OpenGL - software, wireframe: %.3f\n", wireMean);
}

// Which back end draws follows the driver the probe sees; the choice is
// reported as made either way. The driver here is Mesa's llvmpipe.
TEST(OpenGLRenderer, ControlDrawsInSoftwareOnSoftwareDrivers)
{
    const struct {
        std::optional<QString> renderer;
        bool openGL;
    } cases[] = {
        {QStringLiteral("NVIDIA GeForce RTX 3060/PCIe/SSE2"), true},
        {QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)"), false},
        {std::nullopt, false}, // the real driver
    };
    for (const auto& c : cases) {
        SetOpenGLRendererForTesting(c.renderer);
        ComPtr<IPlotControl> control;
        ASSERT_EQ(CreatePlotControl(uuidof<IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
        ComPtr<IQWidgetHost> host(control);
        auto* widget = static_cast<CPlotWidget*>(host->GetWidget());
        widget->resize(320, 240);
        widget->show();
        ASSERT_EQ(control->Initialize(LONG(RendererCode::OpenGL)), S_OK);
        LONG mode = -1;
        control->GetVideoMode(&mode);
        EXPECT_EQ(mode, LONG(RendererCode::OpenGL));
        EXPECT_EQ(widget->DrawsWithOpenGL(), c.openGL) << c.renderer.value_or(QStringLiteral("driver")).toStdString();
        EXPECT_FALSE(widget->grab().toImage().isNull());
        ASSERT_EQ(control->SetVideoMode(LONG(RendererCode::Software)), S_OK);
        control->GetVideoMode(&mode);
        EXPECT_EQ(mode, LONG(RendererCode::Software));
        EXPECT_FALSE(widget->DrawsWithOpenGL());
    }
    SetOpenGLRendererForTesting(std::nullopt);
}

// A series goes to the GPU once; moving the camera draws from the buffers.
TEST(OpenGLRenderer, CameraMovesUploadNothing)
{
    qputenv("VANTIX_FORCE_OPENGL", "1");
    SetOpenGLRendererForTesting(std::nullopt);
    ComPtr<IPlotControl> control;
    ASSERT_EQ(CreatePlotControl(uuidof<IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
    auto* impl = static_cast<CPlotControl*>(control.Get());
    ComPtr<IQWidgetHost> host(control);
    auto* widget = static_cast<CPlotWidget*>(host->GetWidget());
    widget->resize(320, 240);
    widget->show();
    ASSERT_EQ(control->Initialize(LONG(RendererCode::OpenGL)), S_OK);
    ASSERT_TRUE(widget->DrawsWithOpenGL());
    const auto data = demo::MakeTuningSurface(40);
    ComPtr<ISurfaceSeries> surface;
    ASSERT_EQ(control->CreateSurfaceSeries(&surface), S_OK);
    ASSERT_EQ(surface->SetData(data.vertices.data(), LONG(data.vertices.size()), data.indices.data(),
                               LONG(data.indices.size())),
              S_OK);
    const SurfaceVertex points[] = {{1.0, 30.0, 0.1, 0x2040FF, 0}, {4.0, 35.0, 0.35, 0xFF8000, 0}};
    ComPtr<IPointSeries> cloud;
    ASSERT_EQ(control->CreatePointSeries(&cloud), S_OK);
    ASSERT_EQ(cloud->SetData(points, 2, 0.06), S_OK);
    const QImage first = widget->grab().toImage();
    EXPECT_EQ(widget->OpenGLUploads(), 2u);
    QImage last;
    for (int k = 0; k < 6; ++k) {
        impl->Model().camera.Orbit(25, 7);
        widget->Redraw();
        last = widget->grab().toImage();
    }
    EXPECT_NE(first, last); // the frames did move
    EXPECT_EQ(widget->OpenGLUploads(), 2u);
    // New data goes up once more.
    ASSERT_EQ(cloud->SetData(points, 1, 0.06), S_OK);
    widget->grab();
    widget->grab();
    EXPECT_EQ(widget->OpenGLUploads(), 3u);
    qunsetenv("VANTIX_FORCE_OPENGL");
    SetOpenGLRendererForTesting(std::nullopt);
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
    OrbitCamera camera;
    const QSize size(320, 240);
    for (const int supersample : {1, 2}) {
        RenderOptions options;
        options.decorations = false;
        options.supersample = supersample;
        QString error;
        const QImage gl = RenderOpenGLToImage(scene, camera, size, options, &error);
        ASSERT_FALSE(gl.isNull()) << error.toStdString();
        SceneRenderer software;
        const QImage sw = software.Render(scene, camera, size, options);
        // Coverage, partly covered pixels by their share.
        const auto covered = [](const QImage& image) {
            double sum = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb p = image.pixel(x, y);
                    sum += (765 - qRed(p) - qGreen(p) - qBlue(p)) / 765.0 > 0.02 ? 1 : 0;
                }
            return sum;
        };
        const double glPixels = covered(gl), swPixels = covered(sw);
        EXPECT_NEAR(glPixels, swPixels, 0.12 * swPixels) << "supersample " << supersample;
        EXPECT_NEAR(swPixels, 4 * M_PI * 7 * 7, 0.2 * 4 * M_PI * 7 * 7) << "supersample " << supersample;
        const double mean = test::CompareImages(gl, sw, 1.0, QStringLiteral("gl-vs-software-points-%1").arg(supersample));
        EXPECT_LT(mean, 1.0) << "supersample " << supersample;
        scene.Prepare();
        for (const auto& p : points) {
            float sx, sy;
            ASSERT_TRUE(camera.Matrices(size.width(), size.height()).Project(scene.ToUnit(p.x, p.y, p.z), &sx, &sy));
            const QRgb a = test::Pixel(gl, sx, sy), b = test::Pixel(sw, sx, sy);
            EXPECT_TRUE(test::Near(a, b, 24)) << test::Describe(a).toStdString() << " against "
                                              << test::Describe(b).toStdString();
        }
    }
}

// Log decades and category names are drawn by the overlay both back ends share.
TEST(OpenGLRenderer, LogAndCategoryTicksMatchTheSoftwareImage)
{
    Scene scene;
    Fill(scene);
    OrbitCamera camera;
    const QSize size(480, 360);
    RenderOptions options;
    QString error;
    const QImage plain = RenderOpenGLToImage(scene, camera, size, options, &error);
    ASSERT_FALSE(plain.isNull()) << error.toStdString();
    scene.SetAxisTicks(0, {true, false, {}});
    scene.SetAxisTicks(2, {false, true, {{0.1, L"adam"}, {0.25, L"rmsprop"}, {0.4, L"sgd"}}});
    const QImage gl = RenderOpenGLToImage(scene, camera, size, options, &error);
    const QImage sw = SceneRenderer().Render(scene, camera, size, options);
    EXPECT_LT(test::CompareImages(gl, sw, kMaxMeanDifference, "gl-vs-software-ticks"), kMaxMeanDifference);
    EXPECT_GT(test::MeanDifference(gl, plain), 0.05); // the labels changed
}
