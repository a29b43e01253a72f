// Level of detail of dense grid surfaces and the threads of the software
// renderer: coarse levels keep the surface closed and its details, frames
// drawn from them stay close to full-detail frames, and any number of threads
// or bands draws exactly the one-thread picture.
#include "ImageCheck.h"
#include "SurfaceLod.h"
#include "plot_control/SceneRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <utility>

using namespace plot;

namespace {

// An n x n grid in the chart adapter's layout: vertices in row order without
// the missing ones, two triangles per cell where all three corners exist.
struct Grid {
    std::vector<SurfaceVertex> vertices;
    std::vector<std::uint32_t> indices;
};

Grid MakeGrid(int n, const std::function<double(double, double)>& height,
              const std::function<bool(int, int)>& missing = {}, int rows = 0)
{
    Grid g;
    const int m = rows ? rows : n;
    std::vector<std::int64_t> id(std::size_t(n) * m, -1);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j)
            if (!missing || !missing(i, j)) {
                const double x = 10.0 * i / (n - 1), z = 4.0 * j / (m - 1);
                id[std::size_t(i) * m + j] = std::int64_t(g.vertices.size());
                g.vertices.push_back({x, height(x, z), z, 0x3080C0, 0});
            }
    const auto at = [&](int a, int b) { return std::uint32_t(id[std::size_t(a) * m + b]); };
    const auto has = [&](int a, int b) { return id[std::size_t(a) * m + b] >= 0; };
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < m; ++j) {
            if (!has(i, j + 1) || !has(i + 1, j))
                continue;
            if (has(i, j))
                g.indices.insert(g.indices.end(), {at(i, j), at(i, j + 1), at(i + 1, j)});
            if (has(i + 1, j + 1))
                g.indices.insert(g.indices.end(), {at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
        }
    return g;
}

std::shared_ptr<SurfaceMesh> AddGrid(Scene& scene, const Grid& g)
{
    auto mesh = scene.AddSurface();
    mesh->SetData(g.vertices.data(), g.vertices.size(), g.indices.data(), g.indices.size());
    scene.Prepare();
    return mesh;
}

// Area of the x-z footprint and the x-z length of the edges used by only one
// triangle (the outline). A level that leaves a crack or lets triangles
// overlap changes one of them.
std::pair<double, double> Footprint(const std::vector<Vec3>& p, const std::vector<std::uint32_t>& indices)
{
    double area = 0, outline = 0;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> edges;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const Vec3 a = p[indices[t]], b = p[indices[t + 1]], c = p[indices[t + 2]];
        area += 0.5 * std::fabs(double(b.x - a.x) * (c.z - a.z) - double(c.x - a.x) * (b.z - a.z));
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t u = indices[t + k], v = indices[t + (k + 1) % 3];
            ++edges[{std::min(u, v), std::max(u, v)}];
        }
    }
    for (const auto& [e, count] : edges)
        if (count == 1)
            outline += std::hypot(double(p[e.first].x - p[e.second].x), double(p[e.first].z - p[e.second].z));
    return {area, outline};
}

void ExpectSameFootprint(const LodLevel& level, const SurfaceMesh& mesh, int step)
{
    const auto [area, outline] = Footprint(level.positions, level.indices);
    const auto [fullArea, fullOutline] = Footprint(mesh.UnitPositions(), mesh.Indices());
    EXPECT_NEAR(area, fullArea, 1e-5) << step;
    EXPECT_NEAR(outline, fullOutline, 1e-4) << step; // no T-junction cracks
}

RenderOptions Plain(int threads = 0)
{
    return test::Plain(1, true, threads);
}

const auto kHole = [](int i, int j) { return i >= 40 && i < 44 && j >= 8 && j < 11; };

} // namespace

// Grids with holes are found in any vertex order (also a long one, whose lines
// along x are too many to keep as they come); other meshes are refused.
TEST(SurfaceLod, RecognisesGridsInAnyOrderAndRejectsOtherMeshes)
{
    const auto shuffled = [](Grid g) {
        std::vector<std::uint32_t> order(g.vertices.size()), newIndex(order.size());
        std::iota(order.begin(), order.end(), 0u);
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        const std::vector<SurfaceVertex> before = g.vertices;
        for (std::uint32_t k = 0; k < order.size(); ++k)
            newIndex[order[k]] = k, g.vertices[k] = before[order[k]];
        for (std::uint32_t& i : g.indices)
            i = newIndex[i];
        return g;
    };
    Scene scene;
    const Grid square = MakeGrid(40, [](double x, double z) { return x * z; }, [](int i, int j) { return (i * 7 + j * 3) % 11 == 0; });
    const Grid wide = MakeGrid(2100, [](double, double) { return 1.0; }, {}, 3);
    for (const auto& [g, columns] : {std::pair{square, 40}, {shuffled(square), 40}, {wide, 2100}, {shuffled(wide), 2100}}) {
        SurfaceLod lod(*AddGrid(scene, g));
        ASSERT_TRUE(lod.IsGrid());
        EXPECT_EQ(std::pair(lod.Columns(), lod.Rows()), std::pair(columns, columns == 40 ? 40 : 3));
    }
    EXPECT_EQ(SurfaceLod(*AddGrid(scene, shuffled(square))).CellSize(), SurfaceLod(*AddGrid(scene, square)).CellSize());

    Grid doubled = MakeGrid(10, [](double, double) { return 1.0; }), skewed = doubled, scattered = doubled;
    doubled.vertices[5].x = doubled.vertices[4].x; // two vertices at one (x, z)
    doubled.vertices[5].z = doubled.vertices[4].z;
    skewed.indices[2] = 25; // a triangle across two cells
    for (std::size_t k = 0; k < scattered.vertices.size(); ++k)
        scattered.vertices[k].x += 0.001 * double(k);
    for (const Grid& g : {doubled, skewed, scattered})
        EXPECT_FALSE(SurfaceLod(*AddGrid(scene, g)).IsGrid());
}

// A smooth grid becomes two triangles a coarse cell. A one-sample spike, a
// colour spot and a hole keep fine triangles; noise does too unless merged,
// which coarsens every complete cell. Every level stays closed.
TEST(SurfaceLod, SmoothCellsMergeWhileSpikesSpotsAndHolesStay)
{
    Scene scene;
    auto smooth = AddGrid(scene, MakeGrid(33, [](double x, double z) { return 0.3 * x + 0.1 * z; }));
    SurfaceLod plain(*smooth);
    const LodLevel* level = plain.Level(*smooth, 4);
    ASSERT_NE(level, nullptr); // 32 cells a side, 8 coarse ones at step 4
    EXPECT_EQ(std::tuple(level->refinedCells, level->coarseCells, level->indices.size(), level->positions.size()),
              std::tuple(0u, 64u, 64u * 6, 81u));
    EXPECT_EQ(plain.Level(*smooth, 32), nullptr); // fewer than two coarse cells a side

    const int n = 65;
    const double dx = 10.0 / (n - 1), dz = 4.0 / (n - 1);
    const auto spike = [&](double x, double z) {
        return 0.2 * x + (std::fabs(x - 17 * dx) < 1e-9 && std::fabs(z - 41 * dz) < 1e-9 ? 3.0 : 0.0);
    };
    Grid g = MakeGrid(n, spike, kHole);
    for (SurfaceVertex& v : g.vertices)
        if (std::fabs(v.x - 50 * dx) < 1e-9 && std::fabs(v.z - 50 * dz) < 1e-9)
            v.color = 0xFFFF00; // far from the blue of its neighbours
    auto mesh = AddGrid(scene, g);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.1, 0.1);
    Scene noisyScene; // the spike would make the noise small
    auto noisy = AddGrid(noisyScene, MakeGrid(n, [&](double x, double) { return 0.2 * x + noise(random); }, kHole));
    SurfaceLod lod(*mesh), noisyLod(*noisy);
    const Vec3 tip = scene.ToUnit(17 * dx, spike(17 * dx, 41 * dz), 41 * dz);
    for (int step : {2, 4, 8}) {
        SCOPED_TRACE(step);
        const LodLevel* l = lod.Level(*mesh, step);
        const LodLevel *rough = noisyLod.Level(*noisy, step), *merged = noisyLod.Level(*noisy, step, true);
        ASSERT_TRUE(l && rough && merged);
        EXPECT_GT(l->refinedCells, 0u);
        EXPECT_LT(l->indices.size(), mesh->Indices().size() / 2);
        EXPECT_TRUE(std::any_of(l->positions.begin(), l->positions.end(), [&](Vec3 p) { return Length(p - tip) < 1e-6f; }));
        EXPECT_NE(std::find(l->colors.begin(), l->colors.end(), 0xFFFF00u), l->colors.end());
        EXPECT_GT(rough->refinedCells, rough->coarseCells); // the noise keeps fine triangles
        EXPECT_LE(merged->refinedCells, 9u);                // only the cells over the hole
        ExpectSameFootprint(*l, *mesh, step);
        ExpectSameFootprint(*merged, *noisy, step);
    }
}

TEST(SoftwareRenderer, DenseSurfaceIsDrawnFromACoarserLevelCloseToFullDetail)
{
    Scene scene;
    // 401 x 401 samples on a 480 x 360 frame: cells well under a pixel.
    Grid g = MakeGrid(401, [](double x, double z) { return std::sin(x) * std::cos(1.7 * z); });
    for (SurfaceVertex& v : g.vertices)
        v.color = (std::uint32_t(25 * v.x) << 16) | (std::uint32_t(60 * v.z) << 8) | 0x40;
    AddGrid(scene, g);
    OrbitCamera camera;
    SceneRenderer renderer;
    RenderOptions o;
    o.levelOfDetail = false;
    const QImage full = renderer.Render(scene, camera, QSize(480, 360), o);
    EXPECT_EQ(renderer.LastStats().coarsestStep, 1);
    o.levelOfDetail = true;
    const QImage coarse = renderer.Render(scene, camera, QSize(480, 360), o);
    EXPECT_GE(renderer.LastStats().coarsestStep, 2);
    EXPECT_LT(renderer.LastStats().triangles, g.indices.size() / 3 / 3);
    EXPECT_LT(test::CompareImages(coarse, full, 0.3, "lod-vs-full"), 0.3);
    camera.SetZoom(8); // close up, the cells cover pixels again: full detail
    (void)renderer.Render(scene, camera, QSize(480, 360), o);
    EXPECT_EQ(renderer.LastStats().coarsestStep, 1);
}

// Whatever the threads, supersampling, wireframe or bands (triangles, lines,
// sprites, pixel-sized discs and the water cross many seams), the one-thread
// picture.
TEST(SoftwareRenderer, AnyNumberOfThreadsOrBandsDrawsTheOneThreadPicture)
{
    Scene scene;
    AddGrid(scene, MakeGrid(300, [](double x, double z) { return std::sin(2 * x) * z; },
                            [](int i, int j) { return (i / 7 + j / 5) % 9 == 0; }));
    std::vector<SurfaceVertex> points; // all over the frame, so sprites cross band seams
    for (int k = 0; k < 60; ++k)
        points.push_back({double(k % 10), double(k / 10 % 3) - 1, double(k / 6) * 0.4, 0xFF0000u + std::uint32_t(k) * 1021u, 0});
    scene.AddPointCloud()->SetData(points.data(), points.size(), 0.3);
    auto pixelPoints = scene.AddPointCloud();
    pixelPoints->SetData(points.data(), points.size(), 0);
    pixelPoints->SetPixelSize(9);
    scene.EnableWaterLevel(true);
    OrbitCamera camera;
    camera.SetOrientation(70, 35);
    SceneRenderer renderer;
    for (const bool wire : {false, true})
        for (const int supersample : {1, 2}) {
            SCOPED_TRACE(testing::Message() << "supersample " << supersample << (wire ? ", wireframe" : ""));
            scene.SetWireFrame(wire);
            RenderOptions o = Plain(1);
            o.supersample = supersample;
            const QImage one = renderer.Render(scene, camera, QSize(400, 300), o);
            for (const auto& [threads, rows] : {std::pair{2, 0}, {3, 0}, {5, 0}, {2, 1 << 20}, {2, 7}}) {
                o.threads = threads;
                o.bandRows = rows;
                const QImage many = renderer.Render(scene, camera, QSize(400, 300), o);
                EXPECT_EQ(test::CompareImages(many, one, 0, QStringLiteral("threads-%1-%2").arg(threads).arg(rows)), 0.0)
                    << threads << " threads, bands of " << rows;
            }
        }
}

// Drafts draw dense series from less (merged grid levels, a subsample of a
// large cloud) and still look like the settled frame.
TEST(SceneRenderer, DraftsDrawLessAndLookLikeTheSettledFrame)
{
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::uniform_real_distribution<double> ux(0.0, 10.0), uz(0.0, 4.0);
    Scene surfaceScene, cloudScene;
    AddGrid(surfaceScene, MakeGrid(600, [&](double x, double z) { return std::sin(x) * std::cos(1.7 * z) + noise(random); }));
    std::vector<SurfaceVertex> points(600000);
    for (SurfaceVertex& p : points)
        p.x = ux(random), p.z = uz(random), p.y = std::sin(p.x) * std::cos(1.7 * p.z) + noise(random);
    auto cloud = cloudScene.AddPointCloud();
    cloud->SetPixelSize(4);
    cloud->SetColorByValue(true);
    cloud->SetData(points.data(), points.size(), 0);
    const QSize size(640, 400);
    OrbitCamera camera;
    for (const auto& [scene, name, fewer] : {std::tuple{&surfaceScene, "surface", 8u}, {&cloudScene, "cloud", 2u}}) {
        SceneRenderer renderer;
        const QImage full = renderer.Render(*scene, camera, size);
        const RenderStats fullStats = renderer.LastStats();
        RenderOptions draft;
        draft.supersample = 1;
        draft.draft = true;
        const QImage quick = renderer.Render(*scene, camera, size, draft);
        const RenderStats draftStats = renderer.LastStats();
        EXPECT_LT(fewer * (draftStats.triangles + draftStats.discs), fullStats.triangles + fullStats.discs) << name;
        EXPECT_LT(test::CompareImages(quick, full, 4.0, QStringLiteral("draft-%1").arg(name)), 4.0) << name;
    }
}
