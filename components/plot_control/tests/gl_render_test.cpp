// The OpenGL back end draws the same picture as the software renderer. Runs
// under xvfb-run with Mesa's llvmpipe.
#include "ImageCheck.h"
#include "PlotControl.h"
#include "SampleData.h"
#include "plot_control/GlSceneRenderer.h"

#include <gtest/gtest.h>

#include <cstdio>

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

TEST(OpenGLRenderer, ControlSwitchesToOpenGLAndBack)
{
    ComPtr<IPlotControl> control;
    ASSERT_EQ(CreatePlotControl(uuidof<IPlotControl>(), reinterpret_cast<void**>(&control)), S_OK);
    ComPtr<IQWidgetHost> host(control);
    QWidget* widget = host->GetWidget();
    widget->resize(320, 240);
    widget->show();
    ASSERT_EQ(control->Initialize(kRendererOpenGL), S_OK);
    LONG mode = -1;
    control->GetVideoMode(&mode);
    EXPECT_EQ(mode, kRendererOpenGL);
    const QImage shot = widget->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    ASSERT_EQ(control->SetVideoMode(kRendererSoftware), S_OK);
    control->GetVideoMode(&mode);
    EXPECT_EQ(mode, kRendererSoftware);
}
