// Software renderer on known scenes, seen from straight above (x to the
// right, z down the screen) without decorations, so every pixel is either
// background or geometry.
#include "AxisOverlay.h"
#include "ImageCheck.h"
#include "plot_control/Lighting.h"
#include "plot_control/SceneRenderer.h"
#include "platform/threads.h"
#include "SoftwareRasterizer.h"

#include <QLineF>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

using namespace plot;
using plot::test::Describe;
using plot::test::Near;
using plot::test::Pixel;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
const QSize kSize(320, 240);

struct Frame {
    QImage image;
    ViewProjection vp;
};

RenderOptions Plain(bool lighting = false)
{
    RenderOptions o;
    o.decorations = false;
    o.lighting = lighting;
    o.supersample = 1;
    return o;
}

Frame Render(Scene& scene, const RenderOptions& options, double yaw = 0, double pitch = 90)
{
    OrbitCamera camera;
    camera.SetOrientation(yaw, pitch);
    Frame f;
    f.vp = camera.Matrices(kSize.width(), kSize.height());
    SceneRenderer renderer;
    f.image = renderer.Render(scene, f.vp, kSize, options);
    return f;
}

QPointF At(Scene& scene, const ViewProjection& vp, double x, double y, double z)
{
    scene.Prepare();
    float sx = -1, sy = -1;
    EXPECT_TRUE(vp.Project(scene.ToUnit(x, y, z), &sx, &sy));
    return {sx, sy};
}

QRgb ColourAt(const Frame& f, QPointF p)
{
    return Pixel(f.image, float(p.x()), float(p.y()));
}

SurfaceVertex V(double x, double y, double z, std::uint32_t rgb) { return {x, y, z, rgb, 0xDEADBEEF}; }

} // namespace

TEST(SoftwareRenderer, OneTriangleFillsItsProjectionWithItsColour)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0xC03020), V(1, 0, 0, 0xC03020), V(0, 0, 1, 0xC03020)};
    const std::uint32_t idx[] = {0, 1, 2};
    scene.AddSurface()->SetData(v, 3, idx, 3);
    const Frame f = Render(scene, Plain());

    const QRgb colour = qRgb(0xC0, 0x30, 0x20);
    for (auto [x, z] : {std::pair{0.3, 0.3}, {0.05, 0.05}, {0.9, 0.05}, {0.05, 0.9}})
        EXPECT_EQ(ColourAt(f, At(scene, f.vp, x, 0, z)), colour) << x << ", " << z;
    // Beyond the hypotenuse and outside the data: background.
    for (auto [x, z] : {std::pair{0.7, 0.7}, {0.95, 0.95}})
        EXPECT_EQ(ColourAt(f, At(scene, f.vp, x, 0, z)), kWhite) << x << ", " << z;
    EXPECT_EQ(f.image.pixel(0, 0), kWhite);
}

// Geometry alone, into the caller's picture, is what a full frame without
// decorations draws over the same background; an empty picture is left alone.
TEST(SoftwareRenderer, GeometryIntoACallersPictureMatchesAPlainFrame)
{
    Scene scene;
    std::vector<SurfaceVertex> v;
    std::vector<std::uint32_t> idx;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j)
            v.push_back(V(i, std::sin(i * 0.4) * std::cos(j * 0.3), j, 0x102030u * std::uint32_t(1 + (i + j) % 7)));
    for (std::uint32_t i = 0; i + 1 < 20; ++i)
        for (std::uint32_t j = 0; j + 1 < 20; ++j)
            idx.insert(idx.end(), {i * 20 + j, i * 20 + j + 1, (i + 1) * 20 + j, i * 20 + j + 1, (i + 1) * 20 + j + 1,
                                   (i + 1) * 20 + j});
    scene.AddSurface()->SetData(v.data(), v.size(), idx.data(), idx.size());
    const Frame f = Render(scene, Plain(true), 30, 40);

    SceneRenderer renderer;
    QImage target(kSize, QImage::Format_RGB32);
    target.fill(kWhite);
    renderer.RenderGeometry(scene, f.vp, target, Plain(true));
    EXPECT_EQ(test::MeanDifference(f.image, target), 0.0);
    EXPECT_GT(renderer.LastStats().triangles, 600u);

    QImage empty;
    renderer.RenderGeometry(scene, f.vp, empty, Plain(true));
    EXPECT_TRUE(empty.isNull());

    // Without a thread to be had, the calling thread draws every part itself.
    RenderOptions four = Plain(true);
    four.threads = 4;
    const QImage shared = Render(scene, four, 30, 40).image;
    const platform::ScopedThreadStartFailure noThreads;
    EXPECT_EQ(Render(scene, four, 30, 40).image, shared);
}

TEST(SoftwareRenderer, LightingFollowsTheLightModel)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0x8080C0), V(1, 0, 0, 0x8080C0), V(0, 0, 1, 0x8080C0)};
    const std::uint32_t idx[] = {0, 1, 2};
    scene.AddSurface()->SetData(v, 3, idx, 3);
    const Frame f = Render(scene, Plain(true));
    // Seen from above the normal points at the eye: (0, 0, 1) in view space.
    float intensity = 0, specular = 0;
    lighting::Shade(Vec3{0, 0, 1}, Vec3{0, 0, 1}, &intensity, &specular);
    const auto expect = [&](int c) { return std::min(255, int(c * intensity + specular * 255 + 0.5f)); };
    const QRgb got = ColourAt(f, At(scene, f.vp, 0.3, 0, 0.3));
    EXPECT_TRUE(Near(got, qRgb(expect(0x80), expect(0x80), expect(0xC0)), 2)) << Describe(got).toStdString();
    // The same face seen from below is lit like its upper side.
    const Frame below = Render(scene, Plain(true), 0, -90);
    const QRgb under = ColourAt(below, At(scene, below.vp, 0.3, 0, 0.3));
    EXPECT_TRUE(Near(under, got, 2)) << Describe(under).toStdString();
}

TEST(SoftwareRenderer, VertexColoursAreBlendedSmoothly)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0x00FF00), V(0, 0, 1, 0x0000FF)};
    const std::uint32_t idx[] = {0, 1, 2};
    scene.AddSurface()->SetData(v, 3, idx, 3);
    const Frame f = Render(scene, Plain());
    const QRgb centre = ColourAt(f, At(scene, f.vp, 1.0 / 3, 0, 1.0 / 3));
    EXPECT_TRUE(Near(centre, qRgb(85, 85, 85), 8)) << Describe(centre).toStdString();
    const QRgb nearRed = ColourAt(f, At(scene, f.vp, 0.04, 0, 0.04));
    EXPECT_GT(qRed(nearRed), 220);
    EXPECT_LT(qGreen(nearRed), 30);
    const QRgb edge = ColourAt(f, At(scene, f.vp, 0.5, 0, 0.02)); // halfway red to green
    EXPECT_TRUE(Near(edge, qRgb(128, 128, 5), 12)) << Describe(edge).toStdString();
}

TEST(SoftwareRenderer, GridOfTwoTrianglesLeavesNoGapAlongTheSharedEdge)
{
    // The chart adapter's 2 x 2 grid: vertices (i0,j0), (i0,j1), (i1,j0), (i1,j1), triangles 0 1 2 and 1 3 2.
    Scene scene;
    const SurfaceVertex v[] = {V(0, 5, 0, 0x336699), V(0, 5, 10, 0x336699), V(2, 5, 0, 0x336699),
                               V(2, 5, 10, 0x336699)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 2};
    scene.AddSurface()->SetData(v, 4, idx, 6);
    for (double yaw : {0.0, 17.0, 45.0}) {
        const Frame f = Render(scene, Plain(), yaw, 90);
        int inside = 0, holes = 0;
        for (int i = 1; i < 40; ++i)
            for (int j = 1; j < 40; ++j) {
                const QPointF p = At(scene, f.vp, 2.0 * i / 40, 5, 10.0 * j / 40);
                ++inside;
                holes += ColourAt(f, p) != qRgb(0x33, 0x66, 0x99);
            }
        EXPECT_EQ(holes, 0) << "yaw " << yaw << " of " << inside;
    }
}

TEST(SoftwareRenderer, PointIsADiscOfItsSizeInDataUnits)
{
    Scene scene;
    // Two corner points give the box; the third, in the middle, is the one looked at.
    const SurfaceVertex p[] = {V(0, 0, 0, 0x20A040), V(4, 2, 4, 0x20A040), V(2, 1, 2, 0x20A040)};
    auto cloud = scene.AddPointCloud();
    cloud->SetData(p, 3, 0.8); // diameter 0.8 of 4 = 0.2 of the box
    const Frame f = Render(scene, Plain());
    const QPointF c = At(scene, f.vp, 2, 1, 2);
    const Vec3 u = scene.ToUnit(2, 1, 2);
    const float radiusPx = 0.1f * f.vp.PixelsPerUnit(-f.vp.view.TransformPoint(u).z);
    ASSERT_GT(radiusPx, 8);
    EXPECT_EQ(ColourAt(f, c), qRgb(0x20, 0xA0, 0x40));
    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        EXPECT_EQ(ColourAt(f, c + QPointF(dx, dy) * radiusPx * 0.8), qRgb(0x20, 0xA0, 0x40));
        EXPECT_EQ(ColourAt(f, c + QPointF(dx, dy) * radiusPx * 1.25), kWhite);
    }
}

TEST(SoftwareRenderer, WaterPlaneSitsAtItsLevelAndMovesInTwentiethsClamped)
{
    Scene scene;
    const SurfaceVertex p[] = {V(0, 0, 0, 0x000000), V(1, 100, 1, 0x000000)};
    scene.AddPointCloud()->SetData(p, 2, 0.001);
    scene.EnableWaterLevel(true);

    const auto check = [&](int expectedStep) {
        ASSERT_EQ(scene.WaterLevelStep(), expectedStep);
        const Frame f = Render(scene, Plain(), 0, 30);
        const double level = 100.0 * expectedStep / Scene::kWaterSteps;
        EXPECT_DOUBLE_EQ(scene.WaterLevelValue(), level);
        // Along the column through the plane's centre the water spans from
        // the back edge (z = 0, higher on screen) to the front edge (z = 1).
        const QPointF centre = At(scene, f.vp, 0.5, level, 0.5);
        const QPointF back = At(scene, f.vp, 0.5, level, 0), front = At(scene, f.vp, 0.5, level, 1);
        int top = -1, bottom = -1;
        for (int y = 0; y < f.image.height(); ++y) {
            const QRgb c = f.image.pixel(int(centre.x()), y);
            if (qBlue(c) > qRed(c) + 40) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
        }
        EXPECT_NEAR(top, back.y(), 1.5) << "step " << expectedStep;
        EXPECT_NEAR(bottom, front.y(), 1.5) << "step " << expectedStep;
    };
    check(10); // mid-height at first
    scene.WaterLevelUp();
    scene.WaterLevelUp();
    check(12);
    for (int i = 0; i < 5; ++i)
        scene.WaterLevelDown();
    check(7);
    for (int i = 0; i < 30; ++i)
        scene.WaterLevelUp();
    check(20);
    for (int i = 0; i < 30; ++i)
        scene.WaterLevelDown();
    check(0);
}

TEST(SoftwareRenderer, WireframeDrawsEdgesAndLeavesFacesEmpty)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0x000080), V(0, 0, 1, 0x000080), V(1, 0, 0, 0x000080),
                               V(1, 0, 1, 0x000080)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 2};
    scene.AddSurface()->SetData(v, 4, idx, 6);
    scene.SetWireFrame(true);
    const Frame f = Render(scene, Plain());
    // Face interiors stay background.
    for (auto [x, z] : {std::pair{0.25, 0.25}, {0.75, 0.75}, {0.2, 0.5}, {0.6, 0.9}})
        EXPECT_EQ(ColourAt(f, At(scene, f.vp, x, 0, z)), kWhite) << x << ", " << z;
    // Edges, including the shared diagonal, are drawn (within a pixel).
    const auto drawnNear = [&](QPointF p) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (ColourAt(f, p + QPointF(dx, dy)) == qRgb(0, 0, 0x80))
                    return true;
        return false;
    };
    for (auto [x, z] : {std::pair{0.5, 0.0}, {0.0, 0.5}, {1.0, 0.5}, {0.5, 0.5}, {0.3, 0.7}})
        EXPECT_TRUE(drawnNear(At(scene, f.vp, x, 0, z))) << x << ", " << z;
}

TEST(SoftwareRenderer, HiddenSeriesAndBadTrianglesAreNotDrawn)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0xFF0000), V(0, 0, 1, 0xFF0000),
                               V(1, 0, 1, 0x00FF00)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 7 /* no such vertex */, 1, 3};
    auto mesh = scene.AddSurface();
    mesh->SetData(v, 4, idx, 8);
    EXPECT_EQ(mesh->TriangleCount(), 1u); // the bad triangle and the two spare indices are dropped
    Frame f = Render(scene, Plain());
    EXPECT_EQ(ColourAt(f, At(scene, f.vp, 0.3, 0, 0.3)), qRgb(255, 0, 0));
    EXPECT_EQ(ColourAt(f, At(scene, f.vp, 0.8, 0, 0.8)), kWhite);
    mesh->SetVisible(false);
    f = Render(scene, Plain());
    EXPECT_EQ(f.image.pixel(kSize.width() / 2, kSize.height() / 2), kWhite);
}

TEST(SoftwareRenderer, DecorationsDrawBoxTicksAndTitlesAroundTheData)
{
    Scene scene;
    const SurfaceVertex v[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0xFF0000), V(0, 1, 1, 0xFF0000)};
    const std::uint32_t idx[] = {0, 1, 2};
    scene.AddSurface()->SetData(v, 3, idx, 3);
    RenderOptions o;
    o.supersample = 2;
    OrbitCamera camera;
    SceneRenderer renderer;
    const QImage plain = renderer.Render(scene, camera, QSize(480, 360), o);
    scene.SetAxisTitles(L"ctrl:Kp", L"overshoot", L"ctrl:Ki");
    const QImage titled = renderer.Render(scene, camera, QSize(480, 360), o);
    // Titles add dark text pixels; walls and grid are drawn in both.
    const auto dark = [](const QImage& im) {
        int n = 0;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x)
                n += qGray(im.pixel(x, y)) < 90;
        return n;
    };
    EXPECT_GT(dark(titled), dark(plain) + 100);
    EXPECT_GT(dark(plain), 200); // axis lines and tick labels
    plot::test::Save(titled, "decorations");
}

// The water level's value, in function units, in the top-left corner of the
// decorated picture (the overlay both renderers draw).
TEST(SoftwareRenderer, WaterLevelValueIsWrittenInTheCorner)
{
    Scene scene;
    scene.EnableWaterLevel(true);
    EXPECT_EQ(WaterLevelCaption(scene), QString()); // nothing to flood yet
    const SurfaceVertex v[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0xFF0000), V(0, 1 / 3.0, 1, 0xFF0000)};
    const std::uint32_t idx[] = {0, 1, 2};
    scene.AddSurface()->SetData(v, 3, idx, 3);
    scene.Prepare();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.166667"));
    scene.WaterLevelUp();
    EXPECT_EQ(WaterLevelCaption(scene), QStringLiteral("Water level: 0.183333"));

    RenderOptions o;
    OrbitCamera camera;
    SceneRenderer renderer;
    const auto cornerInk = [&] {
        const QImage im = renderer.Render(scene, camera, QSize(480, 360), o);
        int n = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 160; ++x)
                n += qGray(im.pixel(x, y)) < 110;
        return n;
    };
    const int on = cornerInk();
    scene.EnableWaterLevel(false);
    EXPECT_EQ(WaterLevelCaption(scene), QString());
    EXPECT_GT(on, cornerInk() + 40);
}

// The colour bar: by default the value range titled with the function,
// while a series colours by value; a given scale draws the ramp at the right
// edge, green at the bottom to blue at the top.
TEST(SoftwareRenderer, ColourBarAtTheRightEdge)
{
    Scene scene;
    scene.SetAxisTitles(L"x", L"gain", L"z");
    const SurfaceVertex v[] = {V(0, 0, 0, 0x808080), V(1, 0, 0, 0x808080), V(0, 2, 1, 0x808080)};
    const std::uint32_t idx[] = {0, 1, 2};
    const auto surface = scene.AddSurface();
    surface->SetData(v, 3, idx, 3);
    EXPECT_FALSE(scene.ColorBar());
    surface->SetColorByValue(true);
    ASSERT_TRUE(scene.ColorBar());
    EXPECT_EQ(scene.ColorBar()->title, L"gain");
    EXPECT_EQ(scene.ColorBar()->hi, 2.0);
    surface->SetColorByValue(false);

    RenderOptions o;
    OrbitCamera camera;
    SceneRenderer renderer;
    // Pure ramp corners in the right-hand quarter: the grey surface has none.
    const auto rampInk = [&](QRgb want, int rowFrom, int rowTo) {
        const QImage im = renderer.Render(scene, camera, QSize(480, 360), o);
        int n = 0;
        for (int y = rowFrom; y < rowTo; ++y)
            for (int x = 360; x < 480; ++x)
                n += Near(im.pixel(x, y), want, 40);
        return n;
    };
    scene.SetColorScale(Scene::ColorScaleMode::Given, {L"roughness", 0, 1});
    EXPECT_GT(rampInk(0xFF00FF00, 240, 300), 20); // green low on the strip
    EXPECT_GT(rampInk(0xFF0000FF, 60, 120), 20);  // blue high
    EXPECT_EQ(rampInk(0xFF0000FF, 240, 300), 0);
    scene.SetColorScale(Scene::ColorScaleMode::Hidden);
    EXPECT_EQ(rampInk(0xFF00FF00, 0, 360), 0);
}

TEST(ColorBarTicks, FourToSixRoundLabels)
{
    const struct {
        double lo, hi;
        std::vector<QString> labels;
    } cases[] = {
        {0, 1, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {0, 0.11, {"0.00", "0.02", "0.04", "0.06", "0.08", "0.10"}},
        {0.13, 0.97, {"0.2", "0.4", "0.6", "0.8"}},
        {-3, 1017, {"0", "200", "400", "600", "800", "1000"}},
        {2.5, 2.5, {"2.5"}},
        {0.25, 0.56, {"0.25", "0.35", "0.45", "0.55"}}, // every other tick of a finer step
    };
    for (const auto& c : cases) {
        std::vector<QString> got;
        for (const BarTick& t : ColorBarTicks(c.lo, c.hi))
            got.push_back(t.text);
        EXPECT_EQ(got, c.labels) << c.lo << " .. " << c.hi;
    }
}

// Opaque triangles cover exactly the pixel centres inside them by the
// top-left rule, wherever they lie: small, thin, axis-aligned, large (the
// 64-bit path), narrow (eight pixels of a row at once), reaching past the
// target, and drawn in two parts by rows; in both fill modes.
class RasterizerFill : public ::testing::TestWithParam<raster::FillMode> {};

INSTANTIATE_TEST_SUITE_P(Modes, RasterizerFill,
                         ::testing::Values(raster::FillMode::Best, raster::FillMode::PixelByPixel));

TEST_P(RasterizerFill, TrianglesCoverExactlyThePixelCentresInside)
{
    using raster::FixedVertex;
    constexpr int W = 97, H = 61;
    std::vector<std::uint32_t> pixels(W * H);
    std::vector<float> depth(W * H);
    raster::Target t{pixels.data(), depth.data(), W, H, W};
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
        FixedVertex v[3];
        for (auto& p : v)
            p = {coordinate(shape, W), coordinate(shape, H), 0.5f, 0x00336699u};
        if (shape == 3) // at most nine pixels wide, so most boxes hold at most eight pixel centres
            for (auto& p : v)
                p.x = v[0].x + int(random() % (9 * 16));
        if (n % 7 == 0)
            v[1].y = v[0].y; // a horizontal edge
        if (n % 11 == 0)
            v[2].x = v[1].x; // a vertical edge
        std::fill(pixels.begin(), pixels.end(), 0u);
        std::fill(depth.begin(), depth.end(), 1.0f);
        raster::DrawTriangles(v, indices, 1, t, owner.data(), 0, GetParam());
        raster::DrawTriangles(v, indices, 1, t, owner.data(), 1, GetParam());

        std::int64_t X[3] = {v[0].x, v[1].x, v[2].x}, Y[3] = {v[0].y, v[1].y, v[2].y};
        const std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
        if (area < 0) {
            std::swap(X[1], X[2]);
            std::swap(Y[1], Y[2]);
        }
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                bool inside = area != 0;
                for (int k = 0; k < 3 && inside; ++k) {
                    const int m = (k + 1) % 3;
                    const std::int64_t A = Y[k] - Y[m], B = X[m] - X[k];
                    const bool topLeft = A > 0 || (A == 0 && B < 0);
                    const std::int64_t e = A * (16 * x + 8 - X[k]) + B * (16 * y + 8 - Y[k]) - (topLeft ? 0 : 1);
                    inside = e >= 0;
                }
                drawn += inside;
                ASSERT_EQ(inside, pixels[y * W + x] != 0)
                    << "triangle " << n << " (" << v[0].x << "," << v[0].y << ") (" << v[1].x << "," << v[1].y
                    << ") (" << v[2].x << "," << v[2].y << "), pixel " << x << "," << y;
            }
    }
    EXPECT_GT(drawn, 100000); // the triangles do cover pixels
}

// Both fills shade a triangle alike: the same pixels, colours within one
// step, depths within float rounding; narrow triangles (one step a row) and
// wide ones (several), also beside and past the target's right edge, where
// the lanes would reach past the row.
TEST(Rasterizer, FillModesAgreeOnColoursAndDepths)
{
    if (!raster::FillsInLanes())
        GTEST_SKIP() << "this processor fills pixel by pixel only";
    using raster::FixedVertex;
    constexpr int W = 64, H = 48;
    struct Buffer {
        std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(W * H, 0u);
        std::vector<float> depth = std::vector<float>(W * H, 1.0f);
        raster::Target Target() { return {pixels.data(), depth.data(), W, H, W}; }
    };
    const std::vector<std::uint8_t> owner(H, 0);
    std::mt19937 random(5);
    const std::uint32_t indices[3] = {0, 1, 2};
    int compared = 0;
    for (int n = 0; n < 4000; ++n) {
        const int x0 = int(random() % ((W - 2) * 16)), y0 = int(random() % ((H - 24) * 16));
        const int wide = n % 3 == 0 ? 80 : n % 3 == 1 ? 8 : 16; // pixels
        FixedVertex v[3];
        for (auto& p : v)
            p = {x0 + int(random() % (wide * 16)) - (wide > 16 ? 32 * 16 : 0), y0 + int(random() % (24 * 16)),
                 float(random() % 1000) / 1000.0f, std::uint32_t(random() & 0xFFFFFFu)};
        Buffer lanes, single;
        raster::Target a = lanes.Target(), b = single.Target();
        raster::DrawTriangles(v, indices, 1, a, owner.data(), 0, raster::FillMode::Best);
        raster::DrawTriangles(v, indices, 1, b, owner.data(), 0, raster::FillMode::PixelByPixel);
        for (int i = 0; i < W * H; ++i) {
            ASSERT_EQ(lanes.pixels[i] != 0, single.pixels[i] != 0) << "triangle " << n << ", pixel " << i;
            if (!single.pixels[i])
                continue;
            ++compared;
            for (int shift : {0, 8, 16, 24})
                ASSERT_LE(std::abs(int((lanes.pixels[i] >> shift) & 255) - int((single.pixels[i] >> shift) & 255)), 1)
                    << "triangle " << n << ", pixel " << i;
            ASSERT_NEAR(lanes.depth[i], single.depth[i], 1e-5f) << "triangle " << n << ", pixel " << i;
        }
    }
    EXPECT_GT(compared, 100000);
}

TEST(NiceTicks, RoundStepsOfOneTwoOrFive)
{
    EXPECT_EQ(NiceTicks(0, 1, 5), (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1.0}));
    EXPECT_EQ(NiceTicks(0.5, 5, 5), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(NiceTicks(-3, 7, 4), (std::vector<double>{0, 5}));
    const auto t = NiceTicks(1e-3, 2.2e-3, 6);
    ASSERT_GE(t.size(), 2u);
    EXPECT_NEAR(t[1] - t[0], 2e-4, 1e-12);
    EXPECT_TRUE(NiceTicks(1, 1, 5).empty());
}

// Axis ticks: decades on a log axis (2 and 5 between them when it spans
// few), categories alone, and a labelled tick after the numbers.
TEST(AxisTickMarks, LogDecadesCategoriesAndATickPastTheEnd)
{
    using Ticks = Scene::AxisTicks;
    struct Case {
        Ticks spec;
        double min, max;
        std::vector<double> positions;
        QStringList texts;
    };
    const Case cases[] = {
        {{true, false, {}}, -4, 0, {-4, -3, -2, -1, 0}, {"0.0001", "0.001", "0.01", "0.1", "1"}},
        {{true, false, {}}, -0.5, 1.2, {std::log10(0.5), 0, std::log10(2), std::log10(5), 1},
         {"0.5", "1", "2", "5", "10"}},
        {{true, false, {}}, 0, 12, {0, 2, 4, 6, 8, 10, 12}, {"1", "100", "10000", "1e+06", "1e+08", "1e+10", "1e+12"}},
        {{false, true, {{0, L"linear"}, {1, L"rbf"}, {2, L"sigmoid"}}}, 0, 2, {0, 1, 2}, {"linear", "rbf", "sigmoid"}},
        {{false, false, {{1.1, L"(none)"}}}, 0, 1.1, {1.1, 0, 0.2, 0.4, 0.6, 0.8, 1},
         {"(none)", "0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
        {{true, false, {{1.4, L"(none)"}}}, -1, 1.4, {1.4, -1, 0, 1}, {"(none)", "0.1", "1", "10"}},
    };
    for (const Case& c : cases) {
        std::vector<double> positions;
        QStringList texts;
        for (const AxisTick& t : AxisTickMarks(c.spec, c.min, c.max, 7)) {
            positions.push_back(t.position);
            texts << t.text;
        }
        EXPECT_EQ(texts, c.texts) << c.min << ".." << c.max;
        ASSERT_EQ(positions.size(), c.positions.size());
        for (std::size_t k = 0; k < positions.size(); ++k)
            EXPECT_NEAR(positions[k], c.positions[k], 1e-12) << c.min << ".." << c.max;
    }
}

// A log input drawn on a log axis: the series give log10 of the values, the
// decade ticks stand an equal distance apart where those positions project,
// and the picture carries their tick marks.
TEST(SoftwareRenderer, LogAxisDrawsDecadeTicksWhereTheValuesLie)
{
    Scene scene;
    std::vector<SurfaceVertex> v;
    std::vector<std::uint32_t> idx;
    const double rates[] = {1e-4, 3e-4, 1e-3, 3e-3, 1e-2, 3e-2, 1e-1, 3e-1, 1};
    for (double r : rates)
        for (double d : {0.0, 1.0})
            v.push_back(V(std::log10(r), std::log(r) * d, d, 0x3080C0));
    for (std::uint32_t k = 0; k + 3 < v.size(); k += 2)
        idx.insert(idx.end(), {k, k + 1, k + 2, k + 1, k + 3, k + 2});
    scene.AddSurface()->SetData(v.data(), v.size(), idx.data(), idx.size());
    scene.SetAxisTitles(L"learning_rate", L"loss", L"depth");
    scene.SetAxisTicks(0, {true, false, {}});
    scene.Prepare();
    OrbitCamera camera;
    const ViewProjection vp = camera.Matrices(1200, 900);
    const AxisOverlay overlay(scene, vp);
    const auto marks = overlay.TickMarks(0);
    QStringList texts;
    for (const auto& m : marks)
        texts << m.second;
    ASSERT_EQ(texts, QStringList({"0.0001", "0.001", "0.01", "0.1", "1"}));
    // Each tick stands where a data point of its value on the labelled edge projects.
    const float edgeY = overlay.BackWalls()[1], edgeZ = -overlay.BackWalls()[2];
    for (const auto& m : marks) {
        Vec3 at = scene.ToUnit(std::log10(m.second.toDouble()), 0, 0);
        at.y = edgeY, at.z = edgeZ;
        float sx = 0, sy = 0;
        ASSERT_TRUE(vp.Project(at, &sx, &sy));
        EXPECT_NEAR(m.first.x(), sx, 0.5) << m.second.toStdString();
        EXPECT_NEAR(m.first.y(), sy, 0.5) << m.second.toStdString();
    }
    // The colour bar of values on a log axis: decades too.
    QStringList bar;
    for (const BarTick& t : ColorBarTicks(-4, 0, true))
        bar << t.text;
    EXPECT_EQ(bar, QStringList({"0.0001", "0.001", "0.01", "0.1", "1"}));
    EXPECT_EQ(ColorBarTicks(-2, -2, true).front().text, QStringLiteral("0.01"));
    // Where the value 0.01 lies: its decade tick is the middle one.
    EXPECT_NEAR(scene.ToUnit(std::log10(0.01), 0, 0).x, 0.0f, 1e-6f);

    RenderOptions o;
    o.supersample = 1;
    SceneRenderer renderer;
    const QImage picture = renderer.Render(scene, camera, QSize(1200, 900), o);
    plot::test::Save(picture, "log-axis");
    for (const auto& m : marks) { // the tick's dark mark just outside the edge
        int ink = 0;
        for (int dy = -6; dy <= 6; ++dy)
            for (int dx = -6; dx <= 6; ++dx)
                ink += qGray(picture.pixel(int(m.first.x()) + dx, int(m.first.y()) + dy)) < 120;
        EXPECT_GT(ink, 2) << m.second.toStdString();
    }
}
