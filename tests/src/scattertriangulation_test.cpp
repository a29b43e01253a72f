#include "ScatterTriangulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Points {
    std::vector<double> x, y;
    std::size_t size() const { return x.size(); }
};

Points Random(std::size_t n, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Points p;
    for (std::size_t k = 0; k < n; ++k) {
        p.x.push_back(u(rng));
        p.y.push_back(u(rng));
    }
    return p;
}

// Columns and rows of unequal spacing, each point moved by up to jitter cells.
Points Grid(int columns, int rows, double jitter)
{
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> move(-jitter, jitter);
    Points p;
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j) {
            p.x.push_back(0.5 * (i + move(rng)));
            p.y.push_back(3.0 * (j + move(rng)));
        }
    return p;
}

// The points as the triangulation sees them: each axis's range mapped to [0, 1].
Points Scaled(const Points& p)
{
    const auto [x0, x1] = std::minmax_element(p.x.begin(), p.x.end());
    const auto [y0, y1] = std::minmax_element(p.y.begin(), p.y.end());
    Points s;
    for (std::size_t k = 0; k < p.size(); ++k) {
        s.x.push_back((p.x[k] - *x0) / (*x1 - *x0));
        s.y.push_back((p.y[k] - *y0) / (*y1 - *y0));
    }
    return s;
}

double Turn(const Points& p, std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    return (p.x[b] - p.x[a]) * (p.y[c] - p.y[a]) - (p.y[b] - p.y[a]) * (p.x[c] - p.x[a]);
}

double Length(const Points& p, std::uint32_t a, std::uint32_t b)
{
    return std::hypot(p.x[a] - p.x[b], p.y[a] - p.y[b]);
}

// Triangles as a sorted list of triples, each rotated to start at its smallest index.
std::vector<std::array<std::uint32_t, 3>> Normalized(const std::vector<std::uint32_t>& t)
{
    std::vector<std::array<std::uint32_t, 3>> out;
    for (std::size_t k = 0; k + 2 < t.size(); k += 3) {
        std::array<std::uint32_t, 3> tri{t[k], t[k + 1], t[k + 2]};
        std::rotate(tri.begin(), std::min_element(tri.begin(), tri.end()), tri.end());
        out.push_back(tri);
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct CompleteCase {
    std::string name;
    Points points;
    std::size_t hull; // points on the hull, collinear ones included
};

class Complete : public testing::TestWithParam<CompleteCase> {};

TEST_P(Complete, IsACounterClockwiseDelaunayTriangulationOfAllPoints)
{
    const Points& raw = GetParam().points;
    const Points p = Scaled(raw);
    const std::size_t n = p.size(), h = GetParam().hull;
    ScatterTriangulationStats stats;
    const auto t = TriangulateScatter(raw.x, raw.y, 0, &stats);

    ASSERT_EQ(t.size() % 3, 0u);
    EXPECT_EQ(t.size() / 3, 2 * n - h - 2);
    EXPECT_EQ(stats.triangles, t.size() / 3);
    EXPECT_EQ(stats.dropped, 0u);
    EXPECT_EQ(stats.hullVertices, h);

    std::map<std::pair<std::uint32_t, std::uint32_t>, double> edges;
    std::size_t violations = 0;
    for (std::size_t k = 0; k < t.size(); k += 3) {
        const std::uint32_t a = t[k], b = t[k + 1], c = t[k + 2];
        ASSERT_TRUE(a < n && b < n && c < n);
        EXPECT_GT(Turn(p, a, b, c), 0) << "triangle " << k / 3;
        for (auto [u, v] : {std::pair(a, b), std::pair(b, c), std::pair(c, a)})
            edges[std::minmax(u, v)] = Length(p, u, v);
        // Empty circumcircle: no point strictly inside (incircle determinant > 0).
        for (std::uint32_t d = 0; d < n; ++d) {
            const double ax = p.x[a] - p.x[d], ay = p.y[a] - p.y[d], bx = p.x[b] - p.x[d], by = p.y[b] - p.y[d],
                         cx = p.x[c] - p.x[d], cy = p.y[c] - p.y[d];
            const double det = (ax * ax + ay * ay) * (bx * cy - cx * by) - (bx * bx + by * by) * (ax * cy - cx * ay) +
                               (cx * cx + cy * cy) * (ax * by - bx * ay);
            violations += det > 1e-12;
        }
    }
    EXPECT_EQ(violations, 0u);
    // Euler: every distinct edge counted once.
    EXPECT_EQ(edges.size(), 3 * n - h - 3);
    std::vector<double> lengths;
    for (const auto& e : edges)
        lengths.push_back(e.second);
    std::sort(lengths.begin(), lengths.end());
    EXPECT_NEAR(stats.medianEdge, lengths[lengths.size() / 2], 1e-12);
}

// The exact grid is cocircular throughout, as aggregated cells are; the
// grids' axes differ in range, which the triangulation must not see.
INSTANTIATE_TEST_SUITE_P(ScatterTriangulation, Complete,
                         testing::Values(CompleteCase{"random", Random(300, 11), 17},
                                         CompleteCase{"jitteredGrid", Grid(17, 15, 0.3), 14},
                                         CompleteCase{"grid", Grid(14, 9, 0), 2 * (13 + 8)}),
                         [](const auto& info) { return info.param.name; });

TEST(ScatterTriangulation, DropsTrianglesWithEdgesLongerThanTheFactorTimesTheMedian)
{
    Points raw = Random(200, 3);
    raw.x.push_back(10.0); // far from the cluster in [0, 1]^2
    raw.y.push_back(10.0);
    const std::uint32_t far = 200;
    const Points p = Scaled(raw);
    const auto uses = [&](const std::vector<std::uint32_t>& t) { return std::count(t.begin(), t.end(), far); };

    ScatterTriangulationStats all, kept;
    const auto everything = TriangulateScatter(raw.x, raw.y, 0, &all);
    const auto filtered = TriangulateScatter(raw.x, raw.y, kScatterMaxEdgeFactor, &kept);
    EXPECT_GE(uses(everything), 2);
    EXPECT_EQ(uses(filtered), 0);
    EXPECT_GE(kept.dropped, std::size_t(uses(everything)));
    EXPECT_EQ(kept.triangles + kept.dropped, all.triangles);
    EXPECT_EQ(kept.medianEdge, all.medianEdge);
    for (std::size_t k = 0; k < filtered.size(); k += 3)
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(Length(p, filtered[k + i], filtered[k + (i + 1) % 3]), kScatterMaxEdgeFactor * kept.medianEdge);
}

TEST(ScatterTriangulation, LeftOutAndCoincidentPointsKeepInputIndices)
{
    const Points clean = Random(60, 4);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // A NaN point first, an infinite one after the tenth, copies of points 5 and 7 last.
    Points noisy;
    std::vector<std::uint32_t> toClean; // noisy index -> clean index
    const auto add = [&](double x, double y, std::uint32_t k) {
        noisy.x.push_back(x);
        noisy.y.push_back(y);
        toClean.push_back(k);
    };
    add(nan, 0.5, 0);
    for (std::uint32_t k = 0; k < clean.size(); ++k) {
        add(clean.x[k], clean.y[k], k);
        if (k == 9)
            add(0.5, -inf, 0);
    }
    add(clean.x[5], clean.y[5], 5);
    add(clean.x[7], clean.y[7], 7);

    ScatterTriangulationStats stats;
    auto t = TriangulateScatter(noisy.x, noisy.y, 0, &stats);
    for (auto& k : t) {
        ASSERT_LT(k, noisy.size());
        EXPECT_TRUE(std::isfinite(noisy.x[k]) && std::isfinite(noisy.y[k]));
        k = toClean[k];
    }
    EXPECT_EQ(Normalized(t), Normalized(TriangulateScatter(clean.x, clean.y, 0)));
}

struct DegenerateCase {
    std::string name;
    std::vector<double> x, y;
    std::size_t triangles;
};

class Degenerate : public testing::TestWithParam<DegenerateCase> {};

TEST_P(Degenerate, GivesWhatTheDistinctFinitePointsSpanQuietly)
{
    const auto& c = GetParam();
    testing::internal::CaptureStderr();
    ScatterTriangulationStats stats;
    const auto t = TriangulateScatter(c.x, c.y, kScatterMaxEdgeFactor, &stats);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(t.size(), 3 * c.triangles);
    EXPECT_EQ(stats.triangles, c.triangles);
    for (std::size_t k = 0; k < t.size(); k += 3) {
        EXPECT_TRUE(t[k] < c.x.size() && t[k + 1] < c.x.size() && t[k + 2] < c.x.size());
        EXPECT_TRUE(t[k] != t[k + 1] && t[k + 1] != t[k + 2] && t[k] != t[k + 2]);
    }
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    ScatterTriangulation, Degenerate,
    testing::Values(DegenerateCase{"none", {}, {}, 0}, DegenerateCase{"two", {1, 2}, {2, 3}, 0},
                    DegenerateCase{"collinear", {0, 1, 2, 3, 4, 5}, {1, 3, 5, 7, 9, 11}, 0},
                    DegenerateCase{"vertical", {2, 2, 2, 2}, {0, 1, 2, 3}, 0},
                    DegenerateCase{"coincident", {1, 1, 1, 1}, {2, 2, 2, 2}, 0},
                    DegenerateCase{"twoDistinct", {0, 1, 0}, {0, 1, 0}, 0},
                    DegenerateCase{"twoFinite", {0, kNaN, 1, 3}, {0, 1, 1, kInf}, 0},
                    DegenerateCase{"sizesDiffer", {0, 1, 0, 1}, {0, 0, 1}, 0},
                    DegenerateCase{"triangle", {0, 1, 0}, {0, 0, 1}, 1},
                    DegenerateCase{"triangleAndCopy", {0, 1, 0, 1}, {0, 0, 1, 0}, 1},
                    DegenerateCase{"triangleAndNaN", {0, 1, kNaN, 0}, {0, 0, 0, 1}, 1},
                    DegenerateCase{"square", {0, 1, 1, 0}, {0, 0, 1, 1}, 2},
                    DegenerateCase{"extremeRange", {-1e308, 1e308, 0}, {0, 0, 1e308}, 1}),
    [](const auto& info) { return info.param.name; });

} // namespace
