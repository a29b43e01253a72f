// Software renderer on known scenes, seen from straight above (x to the
// right, z down the screen) without decorations, so every pixel is either
// background or geometry; the decorations and their ticks; the rasterizer.
#include "AxisOverlay.h"
#include "ImageCheck.h"
#include "SoftwareRasterizer.h"
#include "plot_control/Lighting.h"
#include "plot_control/SceneRenderer.h"
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
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
    std::vector<SurfaceVertex> v;
    std::vector<std::uint32_t> idx;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            v.push_back(V(i, std::sin(i * 0.4) * std::cos(j * 0.3), j, 0x102030u * std::uint32_t(1 + (i + j) % 7)));
    for (std::uint32_t k = 0; k + 21 < 400; ++k)
        if (k % 20 != 19)
            idx.insert(idx.end(), {k, k + 1, k + 20, k + 1, k + 21, k + 20});
    scene.AddSurface()->SetData(v.data(), v.size(), idx.data(), idx.size());
    const Frame f = Render(scene, Plain(1, true), 30, 40);

    SceneRenderer renderer;
    QImage target(kSize, QImage::Format_RGB32);
    target.fill(kWhite);
    renderer.RenderGeometry(scene, f.vp, target, Plain(1, true));
    EXPECT_EQ(test::MeanDifference(f.image, target), 0.0);
    EXPECT_GT(renderer.LastStats().triangles, 600u);
    QImage empty;
    renderer.RenderGeometry(scene, f.vp, empty, Plain(1, true));
    EXPECT_TRUE(empty.isNull());

    RenderOptions four = Plain(1, true);
    four.threads = 4;
    const QImage shared = Render(scene, four, 30, 40).image;
    const platform::ScopedThreadStartFailure noThreads;
    EXPECT_EQ(Render(scene, four, 30, 40).image, shared);
}

// Lit as the light model says, and from below like from above.
TEST(SoftwareRenderer, LightingFollowsTheLightModel)
{
    Scene scene;
    AddTriangle(scene, 0x8080C0, 0x8080C0, 0x8080C0);
    float intensity = 0, specular = 0;
    lighting::Shade(Vec3{0, 0, 1}, Vec3{0, 0, 1}, &intensity, &specular); // the normal points at the eye
    const auto lit = [&](int c) { return std::min(255, int(c * intensity + specular * 255 + 0.5f)); };
    const QRgb got = At(scene, Render(scene, Plain(1, true)), 0.3, 0, 0.3);
    EXPECT_TRUE(Near(got, qRgb(lit(0x80), lit(0x80), lit(0xC0)), 2));
    EXPECT_TRUE(Near(At(scene, Render(scene, Plain(1, true), 0, -90), 0.3, 0, 0.3), got, 2));
}

TEST(SoftwareRenderer, PointIsADiscOfItsSizeInDataUnits)
{
    Scene scene;
    // Two corner points give the box; the third, in the middle, is the one looked at.
    const SurfaceVertex p[] = {V(0, 0, 0, 0x20A040), V(4, 2, 4, 0x20A040), V(2, 1, 2, 0x20A040)};
    scene.AddPointCloud()->SetData(p, 3, 0.8); // diameter 0.8 of 4 = 0.2 of the box
    const Frame f = Render(scene, Plain());
    const Vec3 u = scene.ToUnit(2, 1, 2);
    const QPointF at = test::Screen(scene, f.vp, 2, 1, 2);
    const double sx = at.x(), sy = at.y();
    const float radius = 0.1f * f.vp.PixelsPerUnit(-f.vp.view.TransformPoint(u).z);
    ASSERT_GT(radius, 8);
    EXPECT_EQ(test::Pixel(f.image, sx, sy), qRgb(0x20, 0xA0, 0x40));
    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        EXPECT_EQ(test::Pixel(f.image, sx + dx * radius * 0.8, sy + dy * radius * 0.8), qRgb(0x20, 0xA0, 0x40));
        EXPECT_EQ(test::Pixel(f.image, sx + dx * radius * 1.25, sy + dy * radius * 1.25), kWhite);
    }
}

TEST(SoftwareRenderer, WaterPlaneSitsAtItsLevelAndMovesInTwentiethsClamped)
{
    Scene scene;
    const SurfaceVertex p[] = {V(0, 0, 0, 0x000000), V(1, 100, 1, 0x000000)};
    scene.AddPointCloud()->SetData(p, 2, 0.001);
    scene.EnableWaterLevel(true);
    for (const auto& [steps, expected] : {std::pair{0, 10}, {2, 12}, {-5, 7}, {30, 20}, {-30, 0}}) {
        for (int k = 0; k < std::abs(steps); ++k)
            steps > 0 ? scene.WaterLevelUp() : scene.WaterLevelDown();
        ASSERT_EQ(scene.WaterLevelStep(), expected);
        const Frame f = Render(scene, Plain(), 0, 30);
        const double level = 100.0 * expected / Scene::kWaterSteps;
        EXPECT_DOUBLE_EQ(scene.WaterLevelValue(), level);
        // Down the column through the plane's centre the water spans from
        // the back edge (z = 0, higher on screen) to the front edge (z = 1).
        const double x = test::Screen(scene, f.vp, 0.5, level, 0).x(), back = test::Screen(scene, f.vp, 0.5, level, 0).y();
        const double front = test::Screen(scene, f.vp, 0.5, level, 1).y();
        int top = -1, bottom = -1;
        for (int y = 0; y < f.image.height(); ++y)
            if (const QRgb c = f.image.pixel(int(x), y); qBlue(c) > qRed(c) + 40) {
                top = top < 0 ? y : top;
                bottom = y;
            }
        EXPECT_NEAR(top, back, 1.5) << "step " << expected;
        EXPECT_NEAR(bottom, front, 1.5) << "step " << expected;
    }
}

TEST(SoftwareRenderer, WireframeDrawsEdgesAndLeavesFacesEmpty)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0x000080), V(0, 0, 1, 0x000080), V(1, 0, 0, 0x000080), V(1, 0, 1, 0x000080)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 2};
    scene.AddSurface()->SetData(v, 4, idx, 6);
    scene.SetWireFrame(true);
    const Frame f = Render(scene, Plain());
    for (auto [x, z] : {std::pair{0.25, 0.25}, {0.75, 0.75}, {0.2, 0.5}, {0.6, 0.9}})
        EXPECT_EQ(At(scene, f, x, 0, z), kWhite) << x << ", " << z;
    // Edges, the shared diagonal included, are drawn within a pixel.
    for (auto [x, z] : {std::pair{0.5, 0.0}, {0.0, 0.5}, {1.0, 0.5}, {0.5, 0.5}, {0.3, 0.7}}) {
        const QPointF q = test::Screen(scene, f.vp, x, 0, z);
        const QPoint p(int(std::floor(q.x())), int(std::floor(q.y())));
        EXPECT_GT(Count(f.image, [](QRgb c) { return c == qRgb(0, 0, 0x80); }, QRect(p - QPoint(1, 1), QSize(3, 3))), 0)
            << x << ", " << z;
    }
}

// Decorations as the control draws them: box, ticks and titles add ink; the
// water level's value in the top-left corner; the colour bar at the right
// edge, green at the bottom to blue at the top, automatic while a series
// colours by value.
TEST(SoftwareRenderer, DecorationsTitlesWaterCaptionAndColourBar)
{
    Scene scene;
    const auto surface = AddTriangle(scene, 0x808080, 0x808080, 0x808080, 1 / 3.0);
    const auto render = [&] { return SceneRenderer().Render(scene, OrbitCamera(), QSize(480, 360)); };
    const auto ink = [](const QImage& im, QRect area, int below) {
        return Count(im, [below](QRgb c) { return qGray(c) < below; }, area);
    };
    const int plain = ink(render(), {}, 90);
    EXPECT_GT(plain, 200); // axis lines and tick labels
    scene.SetAxisTitles(L"ctrl:Kp", L"gain", L"ctrl:Ki");
    EXPECT_GT(ink(render(), {}, 90), plain + 100);

    scene.EnableWaterLevel(true);
    scene.Prepare();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.166667"));
    scene.WaterLevelUp();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.183333"));
    const int corner = ink(render(), QRect(0, 0, 160, 24), 110);
    scene.EnableWaterLevel(false);
    EXPECT_EQ(WaterLevelCaption(scene), QString());
    EXPECT_GT(corner, ink(render(), QRect(0, 0, 160, 24), 110) + 40);

    EXPECT_FALSE(scene.ColorBar());
    surface->SetColorByValue(true);
    EXPECT_EQ(scene.ColorBar()->title, L"gain");
    EXPECT_EQ(scene.ColorBar()->hi, 1 / 3.0);
    surface->SetColorByValue(false);
    // Pure ramp corners in the right-hand quarter: the grey surface has none.
    const auto ramp = [&](QRgb want, int top, int bottom) {
        return Count(render(), [want](QRgb c) { return Near(c, want, 40); }, QRect(360, top, 120, bottom - top));
    };
    scene.SetColorScale(Scene::ColorScaleMode::Given, {L"roughness", 0, 1});
    EXPECT_GT(ramp(0xFF00FF00, 240, 300), 20); // green low on the strip
    EXPECT_GT(ramp(0xFF0000FF, 60, 120), 20);  // blue high
    EXPECT_EQ(ramp(0xFF0000FF, 240, 300), 0);
    scene.SetColorScale(Scene::ColorScaleMode::Hidden);
    EXPECT_EQ(ramp(0xFF00FF00, 0, 360), 0);
}

TEST(Ticks, RoundNumbersForAxesAndTheColourBar)
{
    EXPECT_EQ(NiceTicks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1.0}));
    EXPECT_EQ(NiceTicks(0.5, 5, 5), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(NiceTicks(-3, 7, 4), (std::vector<double>{0, 5}));
    const auto t = NiceTicks(1e-3, 2.2e-3, 6);
    ASSERT_GE(t.size(), 2u);
    EXPECT_NEAR(t[1] - t[0], 2e-4, 1e-12);
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

// A log input on a log axis: the series give log10 of the values, and each
// decade tick stands where a point of its value on the labelled edge projects.
TEST(SoftwareRenderer, LogAxisDrawsDecadeTicksWhereTheValuesLie)
{
    Scene scene;
    std::vector<SurfaceVertex> v;
    for (double r : {1e-4, 3e-4, 1e-3, 3e-3, 1e-2, 3e-2, 1e-1, 3e-1, 1.0})
        for (double d : {0.0, 1.0})
            v.push_back(V(std::log10(r), std::log(r) * d, d, 0x3080C0));
    std::vector<std::uint32_t> idx;
    for (std::uint32_t k = 0; k + 3 < v.size(); k += 2)
        idx.insert(idx.end(), {k, k + 1, k + 2, k + 1, k + 3, k + 2});
    scene.AddSurface()->SetData(v.data(), v.size(), idx.data(), idx.size());
    scene.SetAxisTicks(0, {true, false, {}});
    scene.Prepare();
    const ViewProjection vp = OrbitCamera().Matrices(1200, 900);
    const AxisOverlay overlay(scene, vp);
    const auto marks = overlay.TickMarks(0);
    QStringList texts;
    for (const auto& [at, text] : marks) {
        texts << text;
        Vec3 u = scene.ToUnit(std::log10(text.toDouble()), 0, 0);
        u.y = overlay.BackWalls()[1], u.z = -overlay.BackWalls()[2];
        float sx = 0, sy = 0;
        ASSERT_TRUE(vp.Project(u, &sx, &sy));
        EXPECT_NEAR(at.x(), sx, 0.5) << text.toStdString();
        EXPECT_NEAR(at.y(), sy, 0.5) << text.toStdString();
    }
    EXPECT_EQ(texts, QStringList({"0.0001", "0.001", "0.01", "0.1", "1"}));
}

// Opaque triangles cover exactly the pixel centres inside them by the
// top-left rule, wherever they lie: small, thin, axis-aligned, large (the
// 64-bit path), narrow (eight pixels of a row at once), reaching past the
// target, and drawn in two parts by rows. Filled in lanes, they shade as
// pixel by pixel: colours within one step, depths within float rounding.
TEST(Rasterizer, TrianglesCoverExactlyThePixelCentresInsideInBothFillModes)
{
    constexpr int W = 97, H = 61;
    std::vector<std::uint8_t> owner(H);
    for (int y = 0; y < H; ++y)
        owner[y] = std::uint8_t((y >> 3) & 1);
    std::mt19937 random(11);
    const auto coordinate = [&random](int shape, int extent) {
        switch (shape) {
        case 0: // within a few pixels of the target, any subpixel
            return int(random() % ((extent + 8) * 16)) - 64;
        case 1: // on pixel centres and pixel edges
            return int(random() % (extent + 4)) * 16 - 32 + (random() % 2 ? 8 : 0);
        case 2: // far outside: the 64-bit path
            return int(random() % (6000 * 16)) - 3000 * 16;
        default: // anywhere, then narrowed below
            return int(random() % ((extent + 4) * 16)) - 32;
        }
    };
    const std::uint32_t indices[3] = {0, 1, 2};
    int drawn = 0;
    for (int n = 0; n < 8000; ++n) {
        const int shape = n % 4;
        raster::FixedVertex v[3];
        for (auto& p : v)
            p = {coordinate(shape, W), coordinate(shape, H), float(random() % 1000) / 1000.0f,
                 std::uint32_t(random() & 0xFFFFFFu) | 0x010101u};
        if (shape == 3) // at most nine pixels wide, so most boxes hold at most eight pixel centres
            for (auto& p : v)
                p.x = v[0].x + int(random() % (9 * 16));
        if (n % 7 == 0)
            v[1].y = v[0].y; // a horizontal edge
        if (n % 11 == 0)
            v[2].x = v[1].x; // a vertical edge
        std::vector<std::uint32_t> pixels[2] = {std::vector<std::uint32_t>(W * H, 0u), std::vector<std::uint32_t>(W * H, 0u)};
        std::vector<float> depth[2] = {std::vector<float>(W * H, 1.0f), std::vector<float>(W * H, 1.0f)};
        for (const int m : {0, 1}) {
            raster::Target t{pixels[m].data(), depth[m].data(), W, H, W};
            const auto mode = m ? raster::FillMode::PixelByPixel : raster::FillMode::Best;
            raster::DrawTriangles(v, indices, 1, t, owner.data(), 0, mode);
            raster::DrawTriangles(v, indices, 1, t, owner.data(), 1, mode);
        }
        std::int64_t X[3] = {v[0].x, v[1].x, v[2].x}, Y[3] = {v[0].y, v[1].y, v[2].y};
        const std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
        if (area < 0) {
            std::swap(X[1], X[2]);
            std::swap(Y[1], Y[2]);
        }
        for (int i = 0; i < W * H; ++i) {
            bool inside = area != 0;
            for (int k = 0; k < 3 && inside; ++k) {
                const int m = (k + 1) % 3;
                const std::int64_t A = Y[k] - Y[m], B = X[m] - X[k];
                const bool topLeft = A > 0 || (A == 0 && B < 0);
                inside = A * (16 * (i % W) + 8 - X[k]) + B * (16 * (i / W) + 8 - Y[k]) - (topLeft ? 0 : 1) >= 0;
            }
            drawn += inside;
            ASSERT_EQ(inside, pixels[0][i] != 0) << "triangle " << n << ", pixel " << i % W << "," << i / W;
            ASSERT_EQ(inside, pixels[1][i] != 0) << "triangle " << n << ", pixel " << i % W << "," << i / W;
            if (inside) {
                ASSERT_LE(vantix::test::ChannelDifference(pixels[0][i], pixels[1][i]), 1) << "triangle " << n;
                ASSERT_LE(std::abs(int(pixels[0][i] >> 24) - int(pixels[1][i] >> 24)), 1) << "triangle " << n;
                ASSERT_NEAR(depth[0][i], depth[1][i], 1e-5f) << "triangle " << n;
            }
        }
    }
    EXPECT_GT(drawn, 100000); // the triangles do cover pixels
}
