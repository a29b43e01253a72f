// Series coloured by value over the scene's shared value range, and points
// drawn as discs of a size in pixels: their size in software frames, their
// depth against surfaces, picking them, and the disc stamping itself.
#include "ImageCheck.h"
#include "SoftwareRasterizer.h"
#include "plot_control/ColorRamp.h"
#include "plot_control/Lighting.h"
#include "plot_control/Picker.h"
#include "plot_control/SceneRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace plot;

namespace {

using test::Plain;
using test::V;

// The colour drawn for point i of a cloud.
std::uint32_t DrawnColour(const PointCloud& cloud, std::size_t i)
{
    const auto& order = cloud.DrawOrder();
    const auto k = std::find(order.begin(), order.end(), std::uint32_t(i)) - order.begin();
    return std::size_t(k) < order.size() ? cloud.DrawColors()[std::size_t(k)] : 0xBAD;
}

QPointF Screen(Scene& scene, const ViewProjection& vp, const SurfaceVertex& v)
{
    return test::Screen(scene, vp, v.x, v.y, v.z);
}

} // namespace

TEST(ColorRamp, GreenYellowRedMagentaBlueClamped)
{
    const struct {
        double t;
        std::uint32_t rgb;
    } known[] = {{0, 0x00FF00},     {0.125, 0x7FFF00}, {0.25, 0xFFFF00},  {0.375, 0xFF8000}, {0.5, 0xFF0000},
                 {0.625, 0xFF007F}, {0.75, 0xFF00FF},  {0.875, 0x8000FF}, {1, 0x0000FF},     {-0.5, 0x00FF00},
                 {7.0, 0x0000FF},   {std::nan(""), 0x00FF00}};
    for (const auto& k : known) {
        EXPECT_EQ(RampColor(k.t), k.rgb) << k.t;
        EXPECT_EQ(RampColor(-3 + 4 * k.t, -3, 1), k.rgb) << k.t;
    }
    EXPECT_EQ(RampColor(3.0, 2.0, 2.0), 0x00FF00u); // an empty range
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
    EXPECT_EQ(scene.ValueRange(), (std::array<double, 2>{0, 20}));
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
    EXPECT_EQ(scene.ValueRange(), (std::array<double, 2>{5, 20}));
    scene.Prepare();
    EXPECT_NE(cloud->Revision(), cloudRevision); // GPU buffers follow
    EXPECT_EQ(DrawnColour(*cloud, 0), 0x00FF00u);
    cloud->SetColorByValue(false);
    EXPECT_FALSE(scene.ValueRange());
    scene.Prepare();
    EXPECT_EQ(DrawnColour(*cloud, 1), 0x654321u);
}

// A pixel-sized point is a disc of its diameter times the device pixel ratio
// in pixels of the frame, centred on the point, the same in draft and
// antialiased frames, capped at kMaxPointPixels, at least one pixel.
TEST(PixelPoints, DiscCoversItsAreaInPixels)
{
    const struct {
        double pixels, ratio;
        int supersample;
        double diameter; // expected, pixels of the output frame
    } cases[] = {{1, 1, 1, 1},   {4, 1, 1, 4},   {4, 1, 2, 4},      {10, 1, 1, 10}, {10, 2, 1, 20},
                 {10, 1, 2, 10}, {10, 2, 2, 20}, {7, 1.5, 1, 10.5}, {60, 1, 1, 24}, {0.3, 1, 1, 1}};
    const QSize size(200, 160);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixels << " px at ratio " << c.ratio << ", supersample " << c.supersample);
        Scene scene;
        const SurfaceVertex p = V(3, 7, -2);
        auto cloud = scene.AddPointCloud();
        cloud->SetData(&p, 1, 0);
        cloud->SetPixelSize(c.pixels);
        RenderOptions o = Plain(c.supersample);
        o.devicePixelRatio = c.ratio;
        const ViewProjection vp = test::View(size);
        const QImage image = SceneRenderer().Render(scene, vp, size, o);
        // Blue on white, partly covered pixels by their share, and its centre.
        double covered = 0, mx = 0, my = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const double w = (255 - qRed(image.pixel(x, y))) / 255.0;
                covered += w, mx += w * (x + 0.5), my += w * (y + 0.5);
            }
        const double expected = std::max(1.0, M_PI * c.diameter * c.diameter / 4);
        EXPECT_NEAR(covered, expected, 0.2 * expected + 1.5);
        const QPointF centre = Screen(scene, vp, p);
        EXPECT_NEAR(mx / covered, centre.x(), 0.6);
        EXPECT_NEAR(my / covered, centre.y(), 0.6);
    }
}

// A click within a pixel-sized point's disc, or a pixel or two beside it,
// picks it and gives its data coordinates; the nearest hit wins, hidden
// series are passed over; further away nothing is picked.
TEST(PixelPoints, PickedWithinTheirDisc)
{
    Scene scene;
    auto cloud = scene.AddPointCloud();
    const SurfaceVertex pv[] = {V(0, 0, 0), V(10, 5, 10), V(4, 1, 6), V(4, 3, 6), V(7.5, 2.5, 2.25)};
    cloud->SetData(pv, 5, 0);
    cloud->SetPixelSize(8);
    const ViewProjection vp = test::View(QSize(300, 200));
    for (const auto& [offset, hits] : {std::pair{QPointF(0, 0), true}, {{3.5, 0}, true}, {{0, -5.5}, true},
                                       {{4, 4}, true}, {{0, 9}, false}}) {
        const QPointF at = Screen(scene, vp, pv[4]) + offset;
        const auto hit = PickScene(scene, vp, float(at.x()), float(at.y()));
        ASSERT_EQ(hit.has_value(), hits) << offset.x() << ", " << offset.y();
        if (hit) {
            EXPECT_EQ(hit->kind, PickResult::Kind::Point);
            EXPECT_EQ(hit->index, 4u);
            EXPECT_EQ(hit->data, (std::array<double, 3>{7.5, 2.5, 2.25}));
        }
    }
    // Points 2 and 3 share a screen position; 3 lies higher, nearer the eye
    // above. A surface beneath them does not hide them; hidden, they are not picked.
    const QPointF both = Screen(scene, vp, pv[2]);
    const SurfaceVertex sv[] = {V(0, 0.5, 0), V(10, 0.5, 0), V(0, 0.5, 10), V(10, 0.5, 10)};
    const std::uint32_t idx[] = {0, 1, 2, 1, 3, 2};
    scene.AddSurface()->SetData(sv, 4, idx, 6);
    const auto hit = PickScene(scene, vp, float(both.x()), float(both.y()));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->data, (std::array<double, 3>{4, 3, 6}));
    cloud->SetVisible(false);
    EXPECT_EQ(PickScene(scene, vp, float(both.x()), float(both.y())).value().kind, PickResult::Kind::Surface);
}

// Stamping discs in lanes (with AVX-512 masks or without) draws what
// stamping them pixel by pixel draws, for any size, alignment, clipping at
// the target's sides and the band's rows, shaded or flat.
TEST(Rasterizer, DiscsInLanesMatchPixelByPixel)
{
    if (!raster::FillsInLanes())
        GTEST_SKIP() << "this processor stamps pixel by pixel only";
    constexpr int W = 75, H = 40;
    int compared = 0;
    for (const int diameter : {1, 2, 3, 4, 5, 6, 8, 9, 12, 17, 30}) {
        const raster::DiscMask mask = raster::MakeDiscMask(diameter, lighting::ShadePoint);
        std::vector<raster::Splat> splats; // every alignment, half of them clipped by a side or the band
        for (int k = 0; k < 300; ++k)
            splats.push_back({std::int16_t(k * 37 % (W + 2 * diameter) - diameter), std::int16_t(k * 13 % (H + 2 * diameter) - diameter),
                              float(k % 17) / 17.0f, (0x10305Fu * std::uint32_t(k + 1)) & 0xFFFFFFu});
        for (const bool shaded : {true, false})
            for (const auto mode : {raster::FillMode::Best, raster::FillMode::Lanes}) {
                std::vector<std::uint32_t> lanes(W * H, 0), single(W * H, 0);
                std::vector<float> lanesDepth(W * H, 1.0f), singleDepth(W * H, 1.0f);
                raster::Target a{lanes.data(), lanesDepth.data(), W, H, W, 0};
                raster::Target b{single.data(), singleDepth.data(), W, H, W, 0};
                // Rows 5..32 only, as a band of a frame.
                raster::DrawDiscs(splats.data(), splats.size(), mask, a, 5, 33, shaded, mode);
                raster::DrawDiscs(splats.data(), splats.size(), mask, b, 5, 33, shaded, raster::FillMode::PixelByPixel);
                ASSERT_EQ(lanes, single) << "diameter " << diameter << (shaded ? " shaded" : " flat");
                ASSERT_EQ(lanesDepth, singleDepth) << "diameter " << diameter;
                compared += int(std::count_if(single.begin(), single.end(), [](std::uint32_t p) { return p; }));
            }
        // The disc: pixels whose centres lie within the radius; about its area.
        EXPECT_NEAR(double(mask.pixels), M_PI * diameter * diameter / 4, 0.25 * diameter * diameter / 4 + 1.5);
    }
    EXPECT_GT(compared, 50000);
}
