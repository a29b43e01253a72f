// Level of detail of dense grid surfaces and the threads of the software
// renderer: coarse levels keep the surface closed and its details, frames
// drawn from them stay close to full-detail frames, and any number of threads
// draws exactly the one-thread picture.
#include "ImageCheck.h"
#include "SurfaceLod.h"
#include "plot_control/SceneRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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
              const std::function<bool(int, int)>& missing = {}, std::uint32_t rgb = 0x3080C0)
{
    Grid g;
    std::vector<std::int64_t> id(std::size_t(n) * n, -1);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (missing && missing(i, j))
                continue;
            const double x = 10.0 * i / (n - 1), z = 4.0 * j / (n - 1);
            id[std::size_t(i) * n + j] = std::int64_t(g.vertices.size());
            g.vertices.push_back({x, height(x, z), z, rgb, 0});
        }
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            const auto at = [&](int a, int b) { return id[std::size_t(a) * n + b]; };
            if (at(i, j + 1) < 0 || at(i + 1, j) < 0)
                continue;
            if (at(i, j) >= 0)
                g.indices.insert(g.indices.end(), {std::uint32_t(at(i, j)), std::uint32_t(at(i, j + 1)),
                                                   std::uint32_t(at(i + 1, j))});
            if (at(i + 1, j + 1) >= 0)
                g.indices.insert(g.indices.end(), {std::uint32_t(at(i, j + 1)), std::uint32_t(at(i + 1, j + 1)),
                                                   std::uint32_t(at(i + 1, j))});
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
struct Footprint {
    double area = 0;
    double outline = 0;
};

Footprint FootprintOf(const std::vector<Vec3>& p, const std::vector<std::uint32_t>& indices)
{
    Footprint f;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> edges;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        const Vec3 a = p[indices[t]], b = p[indices[t + 1]], c = p[indices[t + 2]];
        f.area += 0.5 * std::fabs(double(b.x - a.x) * (c.z - a.z) - double(c.x - a.x) * (b.z - a.z));
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t u = indices[t + k], v = indices[t + (k + 1) % 3];
            ++edges[{std::min(u, v), std::max(u, v)}];
        }
    }
    for (const auto& [e, count] : edges)
        if (count == 1)
            f.outline += std::hypot(double(p[e.first].x - p[e.second].x), double(p[e.first].z - p[e.second].z));
    return f;
}

RenderOptions Plain(int threads = 0)
{
    RenderOptions o;
    o.decorations = false;
    o.supersample = 1;
    o.threads = threads;
    return o;
}

} // namespace

TEST(SurfaceLod, RecognisesGridsWithHolesAndRejectsOtherMeshes)
{
    Scene scene;
    const auto holes = [](int i, int j) { return (i - 10) * (i - 10) + (j - 20) * (j - 20) < 20 || (i == 3 && j == 3); };
    auto grid = AddGrid(scene, MakeGrid(40, [](double x, double z) { return x * z; }, holes));
    SurfaceLod lod(*grid);
    EXPECT_TRUE(lod.IsGrid());
    EXPECT_EQ(lod.Columns(), 40);
    EXPECT_EQ(lod.Rows(), 40);

    // Two vertices at one (x, z): no height field.
    Grid doubled = MakeGrid(10, [](double, double) { return 1.0; });
    doubled.vertices[5].x = doubled.vertices[4].x;
    doubled.vertices[5].z = doubled.vertices[4].z;
    EXPECT_FALSE(SurfaceLod(*AddGrid(scene, doubled)).IsGrid());
    // A triangle across two cells.
    Grid skewed = MakeGrid(10, [](double, double) { return 1.0; });
    skewed.indices[2] = 25;
    EXPECT_FALSE(SurfaceLod(*AddGrid(scene, skewed)).IsGrid());
    // Scattered points.
    Grid scattered = MakeGrid(10, [](double, double) { return 1.0; });
    for (std::size_t k = 0; k < scattered.vertices.size(); ++k)
        scattered.vertices[k].x += 0.001 * double(k);
    EXPECT_FALSE(SurfaceLod(*AddGrid(scene, scattered)).IsGrid());
}

TEST(SurfaceLod, FindsTheGridLinesInAnyVertexOrder)
{
    // Vertices shuffled (indices follow them): a 40 x 40 grid with holes, and
    // a long 2100 x 3 one, whose lines along x are too many to keep as they come.
    const auto shuffled = [](Grid g) {
        std::vector<std::uint32_t> order(g.vertices.size());
        std::iota(order.begin(), order.end(), 0u);
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        std::vector<std::uint32_t> newIndex(order.size());
        Grid out;
        for (std::uint32_t k = 0; k < order.size(); ++k) {
            newIndex[order[k]] = k;
            out.vertices.push_back(g.vertices[order[k]]);
        }
        for (const std::uint32_t i : g.indices)
            out.indices.push_back(newIndex[i]);
        return out;
    };
    Scene scene;
    const auto holes = [](int i, int j) { return (i * 7 + j * 3) % 11 == 0; };
    const Grid square = MakeGrid(40, [](double x, double z) { return x - z; }, holes);
    SurfaceLod inOrder(*AddGrid(scene, square));
    SurfaceLod anyOrder(*AddGrid(scene, shuffled(square)));
    ASSERT_TRUE(inOrder.IsGrid());
    ASSERT_TRUE(anyOrder.IsGrid());
    EXPECT_EQ(anyOrder.Columns(), 40);
    EXPECT_EQ(anyOrder.Rows(), 40);
    EXPECT_EQ(anyOrder.CellSize(), inOrder.CellSize());

    Grid wide;
    constexpr int nx = 2100, ny = 3;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j)
            wide.vertices.push_back({0.5 * i, 1.0, 0.25 * j, 0x3080C0, 0});
    for (int i = 0; i + 1 < nx; ++i)
        for (int j = 0; j + 1 < ny; ++j) {
            const std::uint32_t a = std::uint32_t(i * ny + j);
            wide.indices.insert(wide.indices.end(), {a, a + 1, a + ny, a + 1, a + ny + 1, a + ny});
        }
    for (const Grid& g : {wide, shuffled(wide)}) {
        SurfaceLod lod(*AddGrid(scene, g));
        ASSERT_TRUE(lod.IsGrid());
        EXPECT_EQ(lod.Columns(), nx);
        EXPECT_EQ(lod.Rows(), ny);
    }
}

TEST(SurfaceLod, SmoothGridBecomesTwoTrianglesPerCoarseCell)
{
    Scene scene;
    // 33 x 33 nodes: 32 cells a side, 8 coarse cells at step 4.
    auto mesh = AddGrid(scene, MakeGrid(33, [](double x, double z) { return 0.3 * x + 0.1 * z; }));
    SurfaceLod lod(*mesh);
    const LodLevel* level = lod.Level(*mesh, 4);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->refinedCells, 0u);
    EXPECT_EQ(level->coarseCells, 64u);
    EXPECT_EQ(level->indices.size(), 64u * 6);
    EXPECT_EQ(level->positions.size(), 81u);
    // Steps that leave fewer than two coarse cells a side are refused.
    EXPECT_EQ(lod.Level(*mesh, 32), nullptr);
}

TEST(SurfaceLod, SpikesAndHolesKeepFineTrianglesAndTheSurfaceStaysClosed)
{
    Scene scene;
    // A gentle slope with a one-sample spike, a one-sample colour spot and a hole.
    const int n = 65;
    const double dx = 10.0 / (n - 1), dz = 4.0 / (n - 1);
    const auto height = [&](double x, double z) {
        const bool spike = std::fabs(x - 17 * dx) < 1e-9 && std::fabs(z - 41 * dz) < 1e-9;
        return 0.2 * x + (spike ? 3.0 : 0.0);
    };
    Grid g = MakeGrid(n, height, [](int i, int j) { return i >= 40 && i < 44 && j >= 8 && j < 11; });
    for (SurfaceVertex& v : g.vertices)
        if (std::fabs(v.x - 50 * dx) < 1e-9 && std::fabs(v.z - 50 * dz) < 1e-9)
            v.color = 0xFFFF00; // far from the blue of its neighbours
    auto mesh = AddGrid(scene, g);
    const Footprint full = FootprintOf(mesh->UnitPositions(), mesh->Indices());
    SurfaceLod lod(*mesh);
    ASSERT_TRUE(lod.IsGrid());
    for (int step : {2, 4, 8}) {
        const LodLevel* level = lod.Level(*mesh, step);
        ASSERT_NE(level, nullptr) << step;
        EXPECT_GT(level->refinedCells, 0u) << step;
        EXPECT_LT(level->indices.size(), mesh->Indices().size() / 2) << step;
        const Footprint coarse = FootprintOf(level->positions, level->indices);
        EXPECT_NEAR(coarse.area, full.area, 1e-5) << step;
        EXPECT_NEAR(coarse.outline, full.outline, 1e-4) << step; // no T-junction cracks
        // The spike's tip and the colour spot are still vertices of the level.
        const Vec3 tip = scene.ToUnit(17 * dx, height(17 * dx, 41 * dz), 41 * dz);
        bool hasTip = false, hasSpot = false;
        for (std::size_t k = 0; k < level->positions.size(); ++k) {
            const Vec3 p = level->positions[k];
            hasTip |= std::fabs(p.x - tip.x) < 1e-6f && std::fabs(p.y - tip.y) < 1e-6f && std::fabs(p.z - tip.z) < 1e-6f;
            hasSpot |= level->colors[k] == 0xFFFF00u;
        }
        EXPECT_TRUE(hasTip) << step;
        EXPECT_TRUE(hasSpot) << step;
    }
}

TEST(SoftwareRenderer, DenseSurfaceIsDrawnFromACoarserLevelCloseToFullDetail)
{
    Scene scene;
    // 401 x 401 samples on a 480 x 360 frame: cells well under a pixel.
    const Grid g = MakeGrid(401, [](double x, double z) { return std::sin(x) * std::cos(1.7 * z); });
    Grid coloured = g;
    for (std::size_t k = 0; k < coloured.vertices.size(); ++k) {
        const SurfaceVertex& v = coloured.vertices[k];
        coloured.vertices[k].color = (std::uint32_t(25 * v.x) << 16) | (std::uint32_t(60 * v.z) << 8) | 0x40;
    }
    AddGrid(scene, coloured);
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
    const double mean = test::CompareImages(coarse, full, 0.3, "lod-vs-full");
    std::printf("mean difference, level of detail - full detail: %.3f\n", mean);
    EXPECT_LT(mean, 0.3);

    // Close up, the cells cover pixels again: full detail.
    camera.SetZoom(8);
    (void)renderer.Render(scene, camera, QSize(480, 360), o);
    EXPECT_EQ(renderer.LastStats().coarsestStep, 1);
}

TEST(SoftwareRenderer, AnyNumberOfThreadsDrawsTheOneThreadPicture)
{
    Scene scene;
    // Dense enough for the coarse levels, with holes, a water plane and points.
    const Grid g = MakeGrid(300, [](double x, double z) { return std::sin(2 * x) * z; },
                            [](int i, int j) { return (i / 7 + j / 5) % 9 == 0; });
    AddGrid(scene, g);
    // Points all over the frame, so sprites cross band seams.
    std::vector<SurfaceVertex> points;
    for (int k = 0; k < 60; ++k)
        points.push_back({double(k % 10), double(k / 10 % 3) - 1, double(k / 6) * 0.4, 0xFF0000u + std::uint32_t(k) * 1021u, 0});
    scene.AddPointCloud()->SetData(points.data(), points.size(), 0.3);
    scene.EnableWaterLevel(true);
    OrbitCamera camera;
    camera.SetOrientation(70, 35);
    SceneRenderer renderer;
    const QImage one = renderer.Render(scene, camera, QSize(400, 300), Plain(1));
    for (int threads : {2, 3, 5}) {
        const QImage many = renderer.Render(scene, camera, QSize(400, 300), Plain(threads));
        EXPECT_EQ(test::MeanDifference(one, many), 0.0) << threads << " threads";
        if (many != one)
            test::Save(many, QStringLiteral("threads-%1").arg(threads));
    }
    // The same with supersampling and in wireframe.
    RenderOptions aa = Plain(1);
    aa.supersample = 2;
    const QImage oneAa = renderer.Render(scene, camera, QSize(400, 300), aa);
    aa.threads = 2;
    EXPECT_EQ(test::MeanDifference(oneAa, renderer.Render(scene, camera, QSize(400, 300), aa)), 0.0);
    scene.SetWireFrame(true);
    const QImage oneWire = renderer.Render(scene, camera, QSize(400, 300), Plain(1));
    EXPECT_EQ(test::MeanDifference(oneWire, renderer.Render(scene, camera, QSize(400, 300), Plain(2))), 0.0);

    // Nor on where the frame is cut into bands: one band, or bands of 7 rows
    // (8 when supersampled; triangles, lines, sprites and the water cross
    // many seams).
    for (const bool wire : {false, true}) {
        scene.SetWireFrame(wire);
        for (const int supersample : {1, 2}) {
            RenderOptions o = Plain(2);
            o.supersample = supersample;
            o.bandRows = 1 << 20;
            const QImage whole = renderer.Render(scene, camera, QSize(400, 300), o);
            for (const int rows : {7}) {
                o.bandRows = rows;
                const QImage cut = renderer.Render(scene, camera, QSize(400, 300), o);
                EXPECT_EQ(test::MeanDifference(whole, cut), 0.0)
                    << "bands of " << rows << " rows, supersample " << supersample << (wire ? ", wireframe" : "");
                if (cut != whole)
                    test::Save(cut, QStringLiteral("bands-%1-%2-%3").arg(rows).arg(supersample).arg(wire));
            }
        }
    }
}

// Merged levels coarsen every complete cell whatever its noise, average the
// noise away at their coarse nodes and stay closed around holes.
TEST(SurfaceLod, MergedLevelsCoarsenNoiseAndStayClosed)
{
    Scene scene;
    const int n = 65;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.1, 0.1);
    std::vector<double> offsets(std::size_t(n) * n);
    for (double& o : offsets)
        o = noise(random);
    const auto plane = [](double x, double) { return 0.2 * x; };
    const auto height = [&](double x, double z) {
        const int i = int(std::lround(x * (n - 1) / 10.0)), j = int(std::lround(z * (n - 1) / 4.0));
        return plane(x, z) + offsets[std::size_t(i) * n + j];
    };
    auto mesh = AddGrid(scene, MakeGrid(n, height, [](int i, int j) { return i >= 40 && i < 44 && j >= 8 && j < 11; }));
    const Footprint full = FootprintOf(mesh->UnitPositions(), mesh->Indices());
    // Mean distance of a level's vertices from the noiseless plane, in the unit cube.
    const auto deviation = [&](const std::vector<Vec3>& positions) {
        double sum = 0;
        for (const Vec3& p : positions)
            sum += std::fabs(p.y - scene.ToUnit(0, plane(scene.FromUnit(p)[0], 0), 0).y);
        return sum / double(positions.size());
    };
    const double fullDeviation = deviation(mesh->UnitPositions());
    SurfaceLod lod(*mesh);
    for (int step : {2, 4, 8}) {
        const LodLevel* noisy = lod.Level(*mesh, step);
        const LodLevel* merged = lod.Level(*mesh, step, true);
        ASSERT_TRUE(noisy && merged) << step;
        EXPECT_GT(noisy->refinedCells, noisy->coarseCells) << step; // the noise keeps fine triangles
        EXPECT_LE(merged->refinedCells, 9u) << step;                // only the cells over the hole
        EXPECT_LT(merged->indices.size(), noisy->indices.size() / 2) << step;
        const Footprint coarse = FootprintOf(merged->positions, merged->indices);
        EXPECT_NEAR(coarse.area, full.area, 1e-5) << step;
        EXPECT_NEAR(coarse.outline, full.outline, 1e-4) << step;
        if (step <= 4) // at step 8 the fine vertices around the hole are most of the level's
            EXPECT_LT(deviation(merged->positions), 0.6 * fullDeviation) << step;
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
    AddGrid(surfaceScene,
            MakeGrid(600, [&](double x, double z) { return std::sin(x) * std::cos(1.7 * z) + noise(random); }));
    std::vector<SurfaceVertex> points(600000);
    for (SurfaceVertex& p : points) {
        p.x = ux(random);
        p.z = uz(random);
        p.y = std::sin(p.x) * std::cos(1.7 * p.z) + noise(random);
    }
    auto cloud = cloudScene.AddPointCloud();
    cloud->SetPixelSize(4);
    cloud->SetColorByValue(true);
    cloud->SetData(points.data(), points.size(), 0);
    const struct {
        Scene* scene;
        const char* name;
        std::size_t fewer; // at least this many times fewer triangles or discs
    } cases[] = {{&surfaceScene, "surface", 8}, {&cloudScene, "cloud", 2}};
    const QSize size(640, 400);
    OrbitCamera camera;
    for (const auto& c : cases) {
        SceneRenderer renderer;
        RenderOptions settled;
        settled.supersample = 2;
        const QImage full = renderer.Render(*c.scene, camera, size, settled);
        const RenderStats fullStats = renderer.LastStats();
        RenderOptions draft = settled;
        draft.supersample = 1;
        draft.draft = true;
        const QImage quick = renderer.Render(*c.scene, camera, size, draft);
        const RenderStats draftStats = renderer.LastStats();
        EXPECT_LT(c.fewer * (draftStats.triangles + draftStats.discs), fullStats.triangles + fullStats.discs) << c.name;
        EXPECT_LT(test::CompareImages(quick, full, 4.0, QStringLiteral("draft-%1").arg(c.name)), 4.0) << c.name;
    }
    // A draft of a larger frame (a resize, a zoom) takes the coarser level
    // built already until it is asked to build its own.
    SceneRenderer renderer;
    RenderOptions draft = Plain();
    draft.draft = true;
    (void)renderer.Render(surfaceScene, camera, size, draft);
    const int built = renderer.LastStats().coarsestStep;
    (void)renderer.Render(surfaceScene, camera, size * 3, draft);
    EXPECT_EQ(renderer.LastStats().coarsestStep, built);
    draft.buildLevels = true;
    (void)renderer.Render(surfaceScene, camera, size * 3, draft);
    EXPECT_LT(renderer.LastStats().coarsestStep, built);
}

// A draft asked to defer building leaves out a large surface whose level is
// not built (new data) and builds nothing; once the level is there (the
// settled frame's thread builds it) the same draft draws it as a plain draft
// would. Small surfaces, whose levels are quick to build, are never left out.
TEST(SceneRenderer, DraftsDeferBuildingALargeNewSurfacesLevel)
{
    const auto height = [](double x, double z) { return std::sin(x) * std::cos(1.7 * z) + 0.01 * std::sin(97 * x * z); };
    const QSize size(640, 400);
    OrbitCamera camera;
    RenderOptions deferring = Plain();
    deferring.draft = true;
    deferring.deferLevels = true;
    for (const int n : {600, 200}) {
        Scene scene;
        const auto mesh = AddGrid(scene, MakeGrid(n, height));
        const bool large = mesh->TriangleCount() >= 500000;
        SceneRenderer renderer;
        (void)renderer.Render(scene, camera, size, deferring);
        EXPECT_EQ(renderer.LastStats().levelsDeferred, large) << n;
        EXPECT_EQ(renderer.LastStats().triangles == 0, large) << n;
        EXPECT_EQ(mesh->HasLevelOfDetail(), !large) << n;
        // What the settled frame's thread draws and builds.
        RenderOptions settled;
        settled.mergeSubpixelCells = true;
        (void)renderer.Render(scene, camera, size, settled);
        RenderOptions draft = Plain();
        draft.draft = true;
        draft.buildLevels = true;
        const QImage plain = renderer.Render(scene, camera, size, draft);
        const QImage deferred = renderer.Render(scene, camera, size, deferring);
        EXPECT_FALSE(renderer.LastStats().levelsDeferred) << n;
        EXPECT_EQ(deferred, plain) << n;
    }
}

// Recognising a grid or building a level for a frame that is abandoned
// stops and keeps nothing, so that the next frame builds them whole.
TEST(SurfaceLod, AbandonedBuildsKeepNothing)
{
    Scene scene;
    const auto mesh = AddGrid(scene, MakeGrid(200, [](double x, double z) { return std::sin(x) * z; }));
    const std::atomic<bool> stop{true}, go{false};
    SceneRenderer renderer;
    RenderOptions abandoned = Plain();
    abandoned.mergeSubpixelCells = true;
    abandoned.abandon = &stop;
    EXPECT_TRUE(renderer.Render(scene, OrbitCamera(), QSize(320, 200), abandoned).isNull());
    EXPECT_EQ(mesh->LevelOfDetail(stop), nullptr);
    EXPECT_FALSE(mesh->HasLevelOfDetail());
    SurfaceLod* lod = mesh->LevelOfDetail(go);
    ASSERT_TRUE(lod && lod->IsGrid());
    EXPECT_EQ(lod->Level(*mesh, 4, true, &stop), nullptr);
    EXPECT_EQ(lod->Built(*mesh, 4, true), nullptr);
    const LodLevel* level = lod->Level(*mesh, 4, true, &go);
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(lod->Built(*mesh, 4, true), level);
    SurfaceLod fresh(*mesh);
    const LodLevel* whole = fresh.Level(*mesh, 4, true);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(level->indices, whole->indices);
    EXPECT_EQ(level->colors, whole->colors);
}
