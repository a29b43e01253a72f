// Software renderer on known scenes, seen from straight above (x to the
// right, z down the screen) without decorations, so every pixel is either
// background or geometry; the decorations and their ticks; the rasterizer.
#include "AxisOverlay.h"
#include "ImageCheck.h"
#include "SoftwareRasterizer.h"
#include "plot_control/SceneRenderer.h"
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace plot;
using plot::test::Count;
using plot::test::Near;

namespace {

using test::Plain;
using test::V;

constexpr QRgb kWhite = 0xFFFFFFFF;
const QSize kSize(320, 240);

struct Frame {
    QImage image;
    ViewProjection vp;
};

Frame Render(Scene& scene, const RenderOptions& options, double yaw = 0, double pitch = 90)
{
    Frame f{{}, test::View(kSize, yaw, pitch)};
    f.image = SceneRenderer().Render(scene, f.vp, kSize, options);
    return f;
}

// The colour drawn where data point (x, y, z) projects.
QRgb At(Scene& scene, const Frame& f, double x, double y, double z)
{
    const QPointF p = test::Screen(scene, f.vp, x, y, z);
    return test::Pixel(f.image, p.x(), p.y());
}

// The triangle (0,0,0) (1,0,0) (0,y2,1) in the given colours.
std::shared_ptr<SurfaceMesh> AddTriangle(Scene& scene, std::uint32_t a, std::uint32_t b, std::uint32_t c, double y2 = 0)
{
    const SurfaceVertex v[] = {V(0, 0, 0, a), V(1, 0, 0, b), V(0, y2, 1, c)};
    const std::uint32_t idx[] = {0, 1, 2};
    auto mesh = scene.AddSurface();
    mesh->SetData(v, 3, idx, 3);
    return mesh;
}

} // namespace

// Flat triangles fill their projection with their colour, vertex colours
// blend smoothly, bad triangles and hidden series are not drawn.
TEST(SoftwareRenderer, TrianglesFillTheirProjectionWithTheirColours)
{
    Scene scene;
    AddTriangle(scene, 0xC03020, 0xC03020, 0xC03020);
    Frame f = Render(scene, Plain());
    for (auto [x, z] : {std::pair{0.3, 0.3}, {0.05, 0.05}, {0.9, 0.05}, {0.05, 0.9}})
        EXPECT_EQ(At(scene, f, x, 0, z), qRgb(0xC0, 0x30, 0x20)) << x << ", " << z;
    for (auto [x, z] : {std::pair{0.7, 0.7}, {0.95, 0.95}}) // beyond the hypotenuse
        EXPECT_EQ(At(scene, f, x, 0, z), kWhite) << x << ", " << z;

    Scene blend;
    AddTriangle(blend, 0xFF0000, 0x00FF00, 0x0000FF);
    f = Render(blend, Plain());
    EXPECT_TRUE(Near(At(blend, f, 1.0 / 3, 0, 1.0 / 3), qRgb(85, 85, 85), 8));
    EXPECT_TRUE(Near(At(blend, f, 0.04, 0, 0.04), qRgb(255, 0, 0), 30));
    EXPECT_TRUE(Near(At(blend, f, 0.5, 0, 0.02), qRgb(128, 128, 5), 12)); // halfway red to green

    Scene bad;
    const SurfaceVertex v[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0xFF0000), V(0, 0, 1, 0xFF0000), V(1, 0, 1, 0x00FF00)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 7 /* no such vertex */, 1, 3};
    auto mesh = bad.AddSurface();
    mesh->SetData(v, 4, idx, 8);
    EXPECT_EQ(mesh->TriangleCount(), 1u); // the bad triangle and the two spare indices are dropped
    f = Render(bad, Plain());
    EXPECT_EQ(At(bad, f, 0.3, 0, 0.3), qRgb(255, 0, 0));
    EXPECT_EQ(At(bad, f, 0.8, 0, 0.8), kWhite);
    mesh->SetVisible(false);
    EXPECT_EQ(Count(Render(bad, Plain()).image, [](QRgb c) { return c != kWhite; }), 0);
}

// Geometry alone, into the caller's picture, is what a full frame without
// decorations draws; an empty picture is left alone; without a thread to be
// had, the calling thread draws every part itself.
TEST(SoftwareRenderer, GeometryIntoACallersPictureMatchesAPlainFrame)
{
    Scene scene;
    AddTriangle(scene, 0xFF0000, 0x00FF00, 0x0000FF, 0.5);
    const SurfaceVertex p[] = {V(0.5, 0.2, 0.3, 0x808000), V(0.1, 0.4, 0.8, 0x008080)};
    scene.AddPointCloud()->SetData(p, 2, 0.2);
    const Frame f = Render(scene, Plain(1, true), 30, 40);
    SceneRenderer renderer;
    QImage target(kSize, QImage::Format_RGB32);
    target.fill(kWhite);
    renderer.RenderGeometry(scene, f.vp, target, Plain(1, true));
    EXPECT_EQ(test::MeanDifference(f.image, target), 0.0);
    QImage empty;
    renderer.RenderGeometry(scene, f.vp, empty, Plain(1, true));
    EXPECT_TRUE(empty.isNull());

    RenderOptions four = Plain(1, true);
    four.threads = 4;
    const QImage shared = Render(scene, four, 30, 40).image;
    const platform::ScopedThreadStartFailure noThreads;
    EXPECT_EQ(Render(scene, four, 30, 40).image, shared);
}

// The water level moves in twentieths of the value range, clamped at its ends.
TEST(SoftwareRenderer, WaterLevelMovesInTwentiethsClamped)
{
    Scene scene;
    const SurfaceVertex p[] = {V(0, 0, 0, 0x000000), V(1, 100, 1, 0x000000)};
    scene.AddPointCloud()->SetData(p, 2, 0.001);
    scene.EnableWaterLevel(true);
    scene.Prepare(); // the value range
    for (const auto& [steps, expected] : {std::pair{0, 10}, {2, 12}, {-5, 7}, {30, 20}, {-30, 0}}) {
        for (int k = 0; k < std::abs(steps); ++k)
            steps > 0 ? scene.WaterLevelUp() : scene.WaterLevelDown();
        ASSERT_EQ(scene.WaterLevelStep(), expected);
        EXPECT_DOUBLE_EQ(scene.WaterLevelValue(), 100.0 * expected / Scene::kWaterSteps);
    }
}

// The water level's caption, and the colour bar, there while a series colours
// by value. (How the decorations look is checked by the tool's control picture.)
TEST(SoftwareRenderer, WaterCaptionAndAutomaticColourBar)
{
    Scene scene;
    const auto surface = AddTriangle(scene, 0x808080, 0x808080, 0x808080, 1 / 3.0);
    scene.SetAxisTitles(L"ctrl:Kp", L"gain", L"ctrl:Ki");
    scene.EnableWaterLevel(true);
    scene.Prepare();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.166667"));
    scene.WaterLevelUp();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.183333"));
    scene.EnableWaterLevel(false);
    EXPECT_EQ(WaterLevelCaption(scene), QString());

    EXPECT_FALSE(scene.ColorBar());
    surface->SetColorByValue(true);
    EXPECT_EQ(scene.ColorBar()->title, L"gain");
    EXPECT_EQ(scene.ColorBar()->hi, 1 / 3.0);
}

TEST(Ticks, RoundNumbersForAxesAndTheColourBar)
{
    EXPECT_EQ(NiceTicks(-3, 7, 4), (std::vector<double>{0, 5}));
    EXPECT_TRUE(NiceTicks(1, 1, 5).empty());
    const struct {
        double lo, hi;
        bool log;
        QStringList labels;
    } bars[] = {
        {0, 1, false, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}}, {2.5, 2.5, false, {"2.5"}}, {-2, -2, true, {"0.01"}},
        {0, 0.11, false, {"0.00", "0.02", "0.04", "0.06", "0.08", "0.10"}}, {0.13, 0.97, false, {"0.2", "0.4", "0.6", "0.8"}},
        {-3, 1017, false, {"0", "200", "400", "600", "800", "1000"}}, {-4, 0, true, {"0.0001", "0.001", "0.01", "0.1", "1"}},
        {0.25, 0.56, false, {"0.25", "0.35", "0.45", "0.55"}}, // every other tick of a finer step
    };
    for (const auto& c : bars) {
        QStringList got;
        for (const BarTick& b : ColorBarTicks(c.lo, c.hi, c.log))
            got << b.text;
        EXPECT_EQ(got, c.labels) << c.lo << " .. " << c.hi;
    }
}

// Axis ticks: decades on a log axis (2 and 5 between them when it spans
// few), categories alone, and a labelled tick after the numbers.
TEST(Ticks, LogDecadesCategoriesAndATickPastTheEnd)
{
    const struct {
        Scene::AxisTicks spec;
        double min, max;
        std::vector<double> positions;
        QStringList texts;
    } cases[] = {
        {{true, false, {}}, -4, 0, {-4, -3, -2, -1, 0}, {"0.0001", "0.001", "0.01", "0.1", "1"}},
        {{true, false, {}}, -0.5, 1.2, {std::log10(0.5), 0, std::log10(2), std::log10(5), 1}, {"0.5", "1", "2", "5", "10"}},
        {{true, false, {}}, 0, 12, {0, 2, 4, 6, 8, 10, 12}, {"1", "100", "10000", "1e+06", "1e+08", "1e+10", "1e+12"}},
        {{false, true, {{0, L"linear"}, {1, L"rbf"}, {2, L"sigmoid"}}}, 0, 2, {0, 1, 2}, {"linear", "rbf", "sigmoid"}},
        {{false, false, {{1.1, L"(none)"}}}, 0, 1.1, {1.1, 0, 0.2, 0.4, 0.6, 0.8, 1},
         {"(none)", "0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {{true, false, {{1.4, L"(none)"}}}, -1, 1.4, {1.4, -1, 0, 1}, {"(none)", "0.1", "1", "10"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts.join(' ').toStdString());
        QStringList texts;
        const auto ticks = AxisTickMarks(c.spec, c.min, c.max, 7);
        ASSERT_EQ(ticks.size(), c.positions.size());
        for (std::size_t k = 0; k < ticks.size(); ++k) {
            texts << ticks[k].text;
            EXPECT_NEAR(ticks[k].position, c.positions[k], 1e-12);
        }
        EXPECT_EQ(texts, c.texts);
    }
}

// Two triangles of opposite winding splitting a rectangle cover its pixel
// centres in [x0, x1) x (y0, y1] once between them (the top-left rule, rows
// counted upwards), in
// every fill path: eight pixels a row at once, nine to sixteen, the 64-bit
// edges past 512 pixels, clipped, and rows drawn in two parts. Filled in
// lanes they shade as pixel by pixel: colours within one step, depths within
// float rounding.
TEST(Rasterizer, SplitRectanglesCoverTheirPixelCentresOnce)
{
    constexpr int W = 97, H = 61;
    std::vector<std::uint8_t> owner(H);
    for (int y = 0; y < H; ++y)
        owner[y] = std::uint8_t((y >> 3) & 1);
    const struct {
        int x0, y0, x1, y1; // sixteenths of a pixel; centres lie at 16 i + 8
    } rects[] = {
        {8, 8, 56, 40},          {56, 88, 184, 216},        {323, 45, 515, 157},        {168, 328, 1128, 808},
        {-48000, -32000, 48000, 40000}, {-80, 808, (W + 5) * 16, (H + 4) * 16}, {648, 0, 664, H * 16}, {200, 8, 200, 400},
    };
    const std::uint32_t triangles[2][3] = {{0, 1, 2}, {1, 2, 3}};
    for (const auto& r : rects) {
        SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " .. " << r.x1 << "," << r.y1);
        const raster::FixedVertex v[4] = {
            {r.x0, r.y0, 0.1f, 0xFF0000}, {r.x1, r.y0, 0.5f, 0x00FF00}, {r.x0, r.y1, 0.3f, 0x0000FF}, {r.x1, r.y1, 0.9f, 0x808080}};
        std::vector<std::uint32_t> pixels[2][2]; // [triangle][pixel by pixel]
        std::vector<float> depth[2][2];
        for (const int k : {0, 1})
            for (const int m : {0, 1}) {
                pixels[k][m].assign(W * H, 0u);
                depth[k][m].assign(W * H, 1.0f);
                const raster::Target t{pixels[k][m].data(), depth[k][m].data(), W, H, W};
                const auto mode = m ? raster::FillMode::PixelByPixel : raster::FillMode::Best;
                raster::DrawTriangles(v, triangles[k], 1, t, owner.data(), 0, mode);
                raster::DrawTriangles(v, triangles[k], 1, t, owner.data(), 1, mode);
            }
        for (int i = 0; i < W * H; ++i) {
            const int cx = 16 * (i % W) + 8, cy = 16 * (i / W) + 8;
            const int inside = cx >= r.x0 && cx < r.x1 && cy > r.y0 && cy <= r.y1;
            for (const int m : {0, 1})
                ASSERT_EQ(int(pixels[0][m][i] != 0) + int(pixels[1][m][i] != 0), inside) << "pixel " << i % W << "," << i / W;
            for (const int k : {0, 1})
                if (pixels[k][0][i]) {
                    ASSERT_LE(vantix::test::ChannelDifference(pixels[k][0][i], pixels[k][1][i]), 1) << i % W << "," << i / W;
                    ASSERT_NEAR(depth[k][0][i], depth[k][1][i], 1e-5f) << i % W << "," << i / W;
                }
        }
    }
}
