// Series coloured by value over the scene's shared value range, and points
// drawn as discs of a size in pixels: their size in software frames, their
// depth against surfaces, picking them, and the disc stamping itself.
#include "ImageCheck.h"
#include "plot_control/ColorRamp.h"
#include "plot_control/Picker.h"
#include "plot_control/SceneRenderer.h"
#include "plot_control/Lighting.h"
#include "SoftwareRasterizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace plot;

namespace {

SurfaceVertex V(double x, double y, double z, std::uint32_t rgb = 0x0000FF) { return {x, y, z, rgb, 0}; }

// The chart adapter's roughness colour, as it computes it (src/ChartAdapter.cpp).
std::uint32_t AdapterRampStep(double s)
{
    const double scaled = s * 255 * 4;
    if (!(std::fabs(scaled) < 2147483648.0))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)) & 0xFF;
}
std::uint32_t AdapterRoughnessColor(double r, double rMin, double rMax)
{
    if (rMin == rMax)
        return 0x00FF00;
    const double t = (r - rMin) / (rMax - rMin);
    if (t < 0.25)
        return 0x00FF00 + (AdapterRampStep(t) << 16);
    if (t < 0.5)
        return 0xFF0000 + ((255 - AdapterRampStep(t - 0.25)) << 8);
    if (t < 0.75)
        return 0xFF0000 + AdapterRampStep(t - 0.5);
    return 0x0000FF + ((255 - AdapterRampStep(t - 0.75)) << 16);
}

// The colour drawn for point i of a cloud.
std::uint32_t DrawnColour(const PointCloud& cloud, std::size_t i)
{
    for (std::size_t k = 0; k < cloud.DrawOrder().size(); ++k)
        if (cloud.DrawOrder()[k] == i)
            return cloud.DrawColors()[k];
    ADD_FAILURE() << "point " << i << " is not drawn";
    return 0;
}

RenderOptions Plain(int supersample = 1)
{
    RenderOptions o;
    o.decorations = false;
    o.lighting = false;
    o.supersample = supersample;
    return o;
}

// Seen from straight above, as the software renderer tests do.
ViewProjection Above(QSize size)
{
    OrbitCamera camera;
    camera.SetOrientation(0, 90);
    return camera.Matrices(size.width(), size.height());
}

// Pixels covered by blue on white, counting partly covered pixels of an
// antialiased frame by their share.
double BlueCoverage(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += (255 - qRed(image.pixel(x, y))) / 255.0;
    return sum;
}

} // namespace

TEST(ColorRamp, IsTheAdaptersRoughnessColour)
{
    const struct {
        double t;
        std::uint32_t rgb;
    } known[] = {{0, 0x00FF00},     {0.125, 0x7FFF00}, {0.25, 0xFFFF00}, {0.375, 0xFF8000}, {0.5, 0xFF0000},
                 {0.625, 0xFF007F}, {0.75, 0xFF00FF},  {0.875, 0x8000FF}, {1, 0x0000FF}};
    for (const auto& k : known) {
        EXPECT_EQ(RampColor(k.t), k.rgb) << k.t;
        EXPECT_EQ(AdapterRoughnessColor(k.t, 0, 1), k.rgb) << k.t;
    }
    // Every input in range, as the adapter maps it, over several ranges.
    for (const auto& [lo, hi] : {std::pair{0.0, 1.0}, {-3.5, 17.25}, {1e-9, 3e-9}, {100.0, 100.5}})
        for (int k = 0; k <= 20000; ++k) {
            const double v = lo + (hi - lo) * k / 20000.0;
            ASSERT_EQ(RampColor(v, lo, hi), AdapterRoughnessColor(v, lo, hi)) << v << " in " << lo << ".." << hi;
        }
    // Outside the range the ramp is clamped; NaN and an empty range give its start.
    EXPECT_EQ(RampColor(-0.5), 0x00FF00u);
    EXPECT_EQ(RampColor(7.0), 0x0000FFu);
    EXPECT_EQ(RampColor(std::nan("")), 0x00FF00u);
    EXPECT_EQ(RampColor(3.0, 2.0, 2.0), 0x00FF00u);
}

// Colours by value follow the range shared by the visible series that colour
// by value: another series joining it, or one hidden, recolours the others
// without their data being sent again, and nothing is remade per frame.
TEST(ColorByValue, SeriesShareOneRangeThatFollowsVisibility)
{
    Scene scene;
    auto surface = scene.AddSurface();
    const SurfaceVertex sv[] = {V(0, 0, 0, 0x123456), V(1, 10, 0, 0x123456), V(0, 5, 1, 0x123456)};
    const std::uint32_t idx[] = {0, 1, 2};
    surface->SetData(sv, 3, idx, 3);
    auto cloud = scene.AddPointCloud();
    const SurfaceVertex pv[] = {V(0.5, 5, 0.5, 0x654321), V(0.2, 20, 0.3, 0x654321), V(0.1, NAN, 0.1, 0x654321)};
    cloud->SetData(pv, 3, 0);
    auto other = scene.AddPointCloud(); // keeps its colours and does not widen the range
    const SurfaceVertex ov[] = {V(0, -100, 0, 0xABCDEF), V(1, 100, 1, 0xABCDEF)};
    other->SetData(ov, 2, 0);

    EXPECT_FALSE(scene.ValueRange());
    scene.Prepare();
    EXPECT_EQ(surface->Colors()[1], 0x123456u);
    EXPECT_EQ(DrawnColour(*cloud, 1), 0x654321u);

    surface->SetColorByValue(true);
    cloud->SetColorByValue(true);
    ASSERT_TRUE(scene.ValueRange());
    EXPECT_EQ(*scene.ValueRange(), (std::array<double, 2>{0, 20}));
    scene.Prepare();
    EXPECT_EQ(surface->Colors()[0], 0x00FF00u);
    EXPECT_EQ(surface->Colors()[1], RampColor(10, 0, 20));
    EXPECT_EQ(DrawnColour(*cloud, 0), RampColor(5, 0, 20));
    EXPECT_EQ(DrawnColour(*cloud, 1), 0x0000FFu);
    EXPECT_EQ(DrawnColour(*other, 0), 0xABCDEFu);

    const std::uint64_t surfaceRevision = surface->Revision(), cloudRevision = cloud->Revision();
    scene.Prepare(); // nothing changed: nothing remade
    EXPECT_EQ(surface->Revision(), surfaceRevision);
    EXPECT_EQ(cloud->Revision(), cloudRevision);

    surface->SetVisible(false);
    EXPECT_EQ(*scene.ValueRange(), (std::array<double, 2>{5, 20}));
    scene.Prepare();
    EXPECT_NE(cloud->Revision(), cloudRevision); // GPU buffers follow
    EXPECT_EQ(DrawnColour(*cloud, 0), 0x00FF00u);
    EXPECT_EQ(DrawnColour(*cloud, 1), 0x0000FFu);

    cloud->SetColorByValue(false);
    EXPECT_FALSE(scene.ValueRange());
    scene.Prepare();
    EXPECT_EQ(DrawnColour(*cloud, 1), 0x654321u);
}

// A pixel-sized point is a disc of its diameter times the device pixel ratio
// in pixels of the frame, the same in draft and antialiased frames, capped at
// kMaxPointPixels, at least one pixel; a single point stays a small disc.
TEST(PixelPoints, DiscCoversItsAreaInPixels)
{
    const struct {
        double pixels, ratio;
        int supersample;
        double diameter; // expected, pixels of the output frame
    } cases[] = {{1, 1, 1, 1},   {4, 1, 1, 4},    {4, 1, 2, 4},    {10, 1, 1, 10},  {10, 2, 1, 20},
                 {10, 1, 2, 10}, {10, 2, 2, 20},  {7, 1.5, 1, 10.5}, {60, 1, 1, 24}, {0.3, 1, 1, 1}};
    const QSize size(200, 160);
    const ViewProjection vp = Above(size);
    for (const auto& c : cases) {
        Scene scene;
        auto cloud = scene.AddPointCloud();
        const SurfaceVertex p = V(3, 7, -2);
        cloud->SetData(&p, 1, 0);
        cloud->SetPixelSize(c.pixels);
        RenderOptions o = Plain(c.supersample);
        o.devicePixelRatio = c.ratio;
        SceneRenderer renderer;
        const QImage image = renderer.Render(scene, vp, size, o);
        const double expected = std::max(1.0, M_PI * c.diameter * c.diameter / 4);
        const double covered = BlueCoverage(image);
        EXPECT_NEAR(covered, expected, 0.2 * expected + 1.5)
            << c.pixels << " px at ratio " << c.ratio << ", supersample " << c.supersample;
        // Centred on the point, within half a pixel.
        scene.Prepare();
        float sx, sy;
        ASSERT_TRUE(vp.Project(scene.ToUnit(3, 7, -2), &sx, &sy));
        double mx = 0, my = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const double w = (255 - qRed(image.pixel(x, y))) / 255.0;
                mx += w * (x + 0.5), my += w * (y + 0.5);
            }
        EXPECT_NEAR(mx / covered, sx, 0.6) << c.pixels;
        EXPECT_NEAR(my / covered, sy, 0.6) << c.pixels;
    }
}

// Discs are depth tested against surfaces: above a surface seen from above a
// point shows, below it it is hidden; one lying on it shows (its disc is as
// near as the front of a sphere of its size).
TEST(PixelPoints, SurfacesHideThePointsBehindThem)
{
    const QSize size(160, 120);
    const ViewProjection vp = Above(size);
    for (const auto& [height, shows] : {std::pair{0.5, true}, {0.0, true}, {-0.5, false}}) {
        Scene scene;
        const SurfaceVertex sv[] = {V(0, 0, 0, 0xFF0000), V(1, 0, 0, 0xFF0000), V(0, 0, 1, 0xFF0000),
                                    V(1, 0, 1, 0xFF0000)};
        const std::uint32_t idx[] = {0, 1, 2, 1, 3, 2};
        scene.AddSurface()->SetData(sv, 4, idx, 6);
        auto cloud = scene.AddPointCloud();
        const SurfaceVertex pv[] = {V(0.5, height, 0.5), V(0, -1, 0, 0xFF0000), V(1, 1, 1, 0xFF0000)};
        cloud->SetData(pv, 3, 0);
        cloud->SetPixelSize(9);
        SceneRenderer renderer;
        const QImage image = renderer.Render(scene, vp, size, Plain());
        scene.Prepare();
        float sx, sy;
        ASSERT_TRUE(vp.Project(scene.ToUnit(0.5, height, 0.5), &sx, &sy));
        EXPECT_EQ(test::Pixel(image, sx, sy) == qRgb(0, 0, 255), shows) << "height " << height;
    }
}

// Discs sorted into bands by any number of threads, bands of any height and
// in groups of eight make the same picture, every disc whole.
TEST(PixelPoints, EveryDiscIsWholeForAnyBandsAndThreads)
{
    Scene scene;
    std::vector<SurfaceVertex> grid;
    for (int i = 0; i < 13; ++i)
        for (int j = 0; j < 9; ++j)
            grid.push_back(V(i, 0, j));
    auto cloud = scene.AddPointCloud();
    cloud->SetData(grid.data(), grid.size(), 0);
    cloud->SetPixelSize(5);
    const QSize size(320, 240);
    const ViewProjection vp = Above(size);
    const raster::DiscMask mask = raster::MakeDiscMask(5, lighting::ShadePoint);
    QImage first;
    for (const auto& [threads, bandRows] : {std::pair{1, 0}, {2, 0}, {2, 7}, {3, 13}, {1, 240}}) {
        RenderOptions o = Plain();
        o.lighting = true;
        o.threads = threads;
        o.bandRows = bandRows;
        SceneRenderer renderer;
        const QImage image = renderer.Render(scene, vp, size, o);
        int drawn = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                drawn += image.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_EQ(drawn, int(grid.size() * mask.pixels)) << threads << " threads, bands of " << bandRows;
        if (first.isNull())
            first = image;
        EXPECT_EQ(test::MeanDifference(image, first), 0.0) << threads << " threads, bands of " << bandRows;
    }
}

// A click within a pixel-sized point's disc, or a pixel or two beside it,
// picks it and gives its data coordinates; the nearer of two overlapping
// points wins; further away nothing is picked.
TEST(PixelPoints, PickedWithinTheirDisc)
{
    Scene scene;
    auto cloud = scene.AddPointCloud();
    const SurfaceVertex pv[] = {V(0, 0, 0), V(10, 5, 10), V(4, 1, 6), V(4, 3, 6), V(7.5, 2.5, 2.25)};
    cloud->SetData(pv, 5, 0);
    cloud->SetPixelSize(8);
    const ViewProjection vp = Above(QSize(300, 200));
    scene.Prepare();
    const auto screen = [&](const SurfaceVertex& v) {
        float sx = 0, sy = 0;
        EXPECT_TRUE(vp.Project(scene.ToUnit(v.x, v.y, v.z), &sx, &sy));
        return QPointF(sx, sy);
    };
    const struct {
        QPointF offset;
        bool hit;
    } clicks[] = {{{0, 0}, true}, {{3.5, 0}, true}, {{0, -5.5}, true}, {{4, 4}, true}, {{0, 9}, false}};
    for (const auto& c : clicks) {
        const QPointF at = screen(pv[4]) + c.offset;
        const auto hit = PickScene(scene, vp, float(at.x()), float(at.y()));
        ASSERT_EQ(hit.has_value(), c.hit) << c.offset.x() << ", " << c.offset.y();
        if (hit) {
            EXPECT_EQ(hit->kind, PickResult::Kind::Point);
            EXPECT_EQ(hit->index, 4u);
            EXPECT_EQ(hit->data, (std::array<double, 3>{7.5, 2.5, 2.25}));
        }
    }
    // Points 2 and 3 share a screen position; 3 lies higher, nearer the eye above.
    const QPointF both = screen(pv[2]);
    const auto hit = PickScene(scene, vp, float(both.x()), float(both.y()));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->data, (std::array<double, 3>{4, 3, 6}));
}

// Stamping discs in lanes (with AVX-512 masks or without) draws what
// stamping them pixel by pixel draws, for any size, alignment, clipping at
// the target's sides and the band's rows, shaded or flat.
TEST(Rasterizer, DiscsInLanesMatchPixelByPixel)
{
    if (!raster::FillsInLanes())
        GTEST_SKIP() << "this processor stamps pixel by pixel only";
    constexpr int W = 75, H = 40;
    std::mt19937 random(3);
    int compared = 0;
    for (const int diameter : {1, 2, 3, 4, 5, 6, 8, 9, 12, 17, 30}) {
        const raster::DiscMask mask = raster::MakeDiscMask(diameter, lighting::ShadePoint);
        std::vector<raster::Splat> splats;
        for (int k = 0; k < 300; ++k)
            splats.push_back({std::int16_t(int(random() % (W + 2 * diameter)) - diameter),
                              std::int16_t(int(random() % (H + 2 * diameter)) - diameter),
                              float(random() % 1000) / 1000.0f, std::uint32_t(random() & 0xFFFFFF)});
        for (const bool shaded : {true, false})
            for (const auto mode : {raster::FillMode::Best, raster::FillMode::Lanes}) {
                std::vector<std::uint32_t> lanes(W * H, 0), single(W * H, 0);
                std::vector<float> lanesDepth(W * H, 1.0f), singleDepth(W * H, 1.0f);
                // Rows 5..32 only, as a band of a frame.
                raster::Target a{lanes.data(), lanesDepth.data(), W, H, W, 0};
                raster::Target b{single.data(), singleDepth.data(), W, H, W, 0};
                raster::DrawDiscs(splats.data(), splats.size(), mask, a, 5, 33, shaded, mode);
                raster::DrawDiscs(splats.data(), splats.size(), mask, b, 5, 33, shaded,
                                  raster::FillMode::PixelByPixel);
                ASSERT_EQ(lanes, single) << "diameter " << diameter << (shaded ? " shaded" : " flat");
                ASSERT_EQ(lanesDepth, singleDepth) << "diameter " << diameter;
                compared += int(std::count_if(single.begin(), single.end(), [](std::uint32_t p) { return p; }));
            }
        // The disc: pixels whose centres lie within the radius; about its area.
        EXPECT_NEAR(double(mask.pixels), M_PI * diameter * diameter / 4, 0.25 * diameter * diameter / 4 + 1.5);
    }
    EXPECT_GT(compared, 50000);
}
