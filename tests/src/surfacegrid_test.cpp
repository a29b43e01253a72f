// The surface grid on its own: both storages give the same vertices,
// roughness and triangles; shared cells fold; triangles need three corners.
#include "SurfaceGrid.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

namespace {

struct Surface {
    std::vector<std::tuple<std::int64_t, std::int64_t, double, double>> vertices; // a, b, height, roughness
    std::vector<std::uint32_t> indices;
    double rMin = 0, rMax = 0;
    friend bool operator==(const Surface&, const Surface&) = default;
};

// The grid over the records' index ranges, outside neighbours at the lowest value, as the adapter builds it.
Surface Build(const std::vector<GridSample>& records, SurfaceAggregate aggregate, bool bSparse)
{
    platform::CChunkedList<GridSample> samples;
    std::int32_t iMin = INT_MAX, iMax = INT_MIN, jMin = INT_MAX, jMax = INT_MIN;
    double vMin = 1e300;
    for (const GridSample& s : records) {
        samples.PushBack(s);
        iMin = std::min(iMin, s.i), iMax = std::max(iMax, s.i), jMin = std::min(jMin, s.j), jMax = std::max(jMax, s.j);
        vMin = std::min(vMin, s.v);
    }
    const CSurfaceGrid grid(samples, iMin, jMin, std::int64_t{iMax} - iMin + 1, std::int64_t{jMax} - jMin + 1, vMin,
                            aggregate, bSparse);
    EXPECT_EQ(grid.IsSparse(), bSparse);
    Surface s;
    s.vertices.resize(grid.VertexCount());
    grid.ForEachVertex([&](std::size_t k, std::int64_t a, std::int64_t b, double v, double r) {
        s.vertices.at(k) = {a, b, v, r};
    });
    std::size_t n = 0;
    const auto indices = grid.Triangles(&n);
    s.indices.assign(indices.data(), indices.data() + n);
    s.rMin = grid.RoughnessMin(), s.rMax = grid.RoughnessMax();
    return s;
}

constexpr SurfaceAggregate kAggregates[] = {SurfaceAggregate::Min, SurfaceAggregate::Max, SurfaceAggregate::Mean};

} // namespace

// Holes and repeated cells, negative indices, and a scattered slice (every X
// and Y distinct) that the automatic choice holds sparse: bit for bit alike.
TEST(SurfaceGrid, DenseAndSparseStorageAgree)
{
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto next = [&state] { return state ^= state << 13, state ^= state >> 7, state ^= state << 17; };
    std::vector<GridSample> holes, scattered;
    for (std::int32_t i = 0; i < 40; ++i)
        for (std::int32_t j = 0; j < 30; ++j)
            if (next() % 10 < 6)
                holes.push_back({i - 3, j, double(next() % 2000) / 100.0 - 5.0});
    for (int k = 0; k < 50; ++k)
        holes.push_back(holes[next() % holes.size()]), holes.back().v = k / 3.0;
    for (int k = 0; k < 3000; ++k)
        scattered.push_back({std::int32_t(next() % 3000), std::int32_t(next() % 3000), double(next() % 100)});
    EXPECT_FALSE(CSurfaceGrid::PreferSparse(40, 30, holes.size()));
    EXPECT_TRUE(CSurfaceGrid::PreferSparse(3000, 3000, scattered.size()));
    for (const auto& records : {holes, scattered})
        for (const SurfaceAggregate aggregate : kAggregates) {
            SCOPED_TRACE(::testing::Message() << records.size() << " records, aggregate " << int(aggregate));
            const Surface dense = Build(records, aggregate, false);
            EXPECT_EQ(Build(records, aggregate, true), dense);
            if (records.size() == holes.size()) {
                EXPECT_GT(dense.indices.size(), 600u);
            }
        }
}

// Several records in one cell give one height: their minimum, maximum or
// mean. Neighbours outside the grid count with the lowest record, empty cells
// inside it with 0.
TEST(SurfaceGrid, CellsFoldAndRoughnessCountsTheOutsideAsTheLowest)
{
    const std::vector<GridSample> shared = {{0, 0, 4.0}, {1, 0, 1.0}, {0, 0, -2.0}, {0, 1, 3.0},
                                            {1, 1, 5.0}, {0, 0, 7.0}, {1, 1, 6.0}};
    const std::vector<double> heights[] = {{-2.0, 3.0, 1.0, 5.0}, {7.0, 3.0, 1.0, 6.0}, {3.0, 3.0, 1.0, 5.5}};
    for (const bool bSparse : {false, true}) {
        SCOPED_TRACE(bSparse ? "sparse" : "dense");
        for (std::size_t k = 0; k < 3; ++k) {
            const Surface s = Build(shared, kAggregates[k], bSparse);
            ASSERT_EQ(s.vertices.size(), 4u);
            for (std::size_t v = 0; v < 4; ++v)
                EXPECT_EQ(std::get<2>(s.vertices[v]), heights[k][v]) << "aggregate " << k << ", cell " << v;
        }
        // (0,0) differs by 2 from (1,0) alone: 2/20; (1,0) by 2 from all twenty.
        const Surface pair = Build({{0, 0, 1.0}, {1, 0, 3.0}}, SurfaceAggregate::Min, bSparse);
        EXPECT_DOUBLE_EQ(std::get<3>(pair.vertices[0]), 0.1);
        EXPECT_DOUBLE_EQ(pair.rMin, 0.1);
        EXPECT_DOUBLE_EQ(pair.rMax, 2.0);
        // A hole at (1,1) inside a 3x3 grid counts as 0 for (0,0): |0 - 10| of 20 neighbours.
        const Surface hole = Build({{0, 0, 10.0}, {2, 2, 10.0}}, SurfaceAggregate::Min, bSparse);
        EXPECT_DOUBLE_EQ(std::get<3>(hole.vertices[0]), 10.0 * 7 / 20);
    }
}

TEST(SurfaceGrid, TrianglesNeedTheirThreeCorners)
{
    const struct {
        std::vector<GridSample> cells;
        std::vector<std::uint32_t> indices;
    } cases[] = {
        {{{0, 0, 1}, {0, 1, 2}, {1, 0, 3}}, {0, 1, 2}},
        {{{0, 0, 1}, {1, 0, 3}, {1, 1, 4}}, {}}, // without (0,1) neither triangle
        {{{1, 1, 4}, {0, 1, 2}, {1, 0, 3}, {0, 0, 1}}, {0, 1, 2, 1, 3, 2}},
        {{{4, 9, 2.5}}, {}},
    };
    for (const auto& c : cases)
        for (const bool bSparse : {false, true})
            EXPECT_EQ(Build(c.cells, SurfaceAggregate::Min, bSparse).indices, c.indices)
                << c.cells.size() << " cells, " << (bSparse ? "sparse" : "dense");
}
