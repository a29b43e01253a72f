#include "ScatterTriangulation.h"

#include <libqhull_r/libqhull_r.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

// Qhull options. 'd': Delaunay triangulation, from the lower hull of the
// points lifted to a paraboloid. 'Qbb': scale the lifted coordinate to the
// range of x and y, which reduces roundoff. 'Qz': add a point at infinity;
// without it Qhull fails when all points are cocircular (the four corners of a
// 2 x 2 design, points on a circle). 'Qt': split the facets Qhull merges for
// cocircular points (every square of a grid) into triangles. Not 'Qc':
// coplanar points are coincident points here, and which facet owns them does
// not matter. Not 'QJ': joggling moves the points and reruns on failure, where
// merging with 'Qt' keeps the input exact.
char kQhullOptions[] = "qhull d Qbb Qz Qt";

// Qhull writes warnings and errors to the file it is given: this one discards them.
ssize_t DiscardWrite(void*, const char*, std::size_t size)
{
    return static_cast<ssize_t>(size);
}

FILE* OpenDiscardFile()
{
    cookie_io_functions_t io{};
    io.write = DiscardWrite;
    return fopencookie(nullptr, "w", io);
}

// Owns one Qhull run: frees its memory and the error file however the caller leaves.
struct QhullRun {
    qhT data;
    qhT* qh = &data;
    FILE* err = nullptr;

    QhullRun() = default;
    QhullRun(const QhullRun&) = delete;
    QhullRun& operator=(const QhullRun&) = delete;
    ~QhullRun()
    {
        if (!err)
            return;
        qh_freeqhull(qh, !qh_ALL);
        int curlong = 0, totlong = 0;
        qh_memfreeshort(qh, &curlong, &totlong);
        std::fclose(err);
    }

    // Qhull's exit code; 0 when the facets are there to read.
    int Run(coordT* points, int count)
    {
        err = OpenDiscardFile();
        if (!err)
            return qh_ERRmem;
        qh_zero(qh, err);
        return qh_new_qhull(qh, 2, count, points, False, kQhullOptions, nullptr, err);
    }
};

} // namespace

std::vector<std::uint32_t> TriangulateScatter(std::span<const double> x, std::span<const double> y,
                                              double maxEdgeFactor, ScatterTriangulationStats* stats)
{
    if (stats)
        *stats = {};
    std::vector<std::uint32_t> triangles;
    const std::size_t n = x.size();
    // Qhull counts points in an int, and adds one for 'Qz'.
    if (y.size() != n || n < 3 || n >= std::size_t(INT_MAX))
        return triangles;

    constexpr double inf = std::numeric_limits<double>::infinity();
    double xMin = inf, xMax = -inf, yMin = inf, yMax = -inf;
    std::size_t finite = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k]))
            continue;
        xMin = std::min(xMin, x[k]);
        xMax = std::max(xMax, x[k]);
        yMin = std::min(yMin, y[k]);
        yMax = std::max(yMax, y[k]);
        ++finite;
    }
    // Halves keep max - min finite for coordinates near the largest doubles.
    const double xScale = 1 / (0.5 * xMax - 0.5 * xMin), yScale = 1 / (0.5 * yMax - 0.5 * yMin);
    if (finite < 3 || !(xMax > xMin) || !(yMax > yMin) || !std::isfinite(xScale) || !std::isfinite(yScale))
        return triangles;

    // The one copy: interleaved and scaled, as Qhull takes it. Input indices of
    // the points only where some were left out.
    std::unique_ptr<coordT[]> points(new coordT[2 * finite]);
    std::vector<std::uint32_t> original;
    if (finite < n)
        original.reserve(finite);
    for (std::size_t k = 0, i = 0; k < n; ++k) {
        if (!std::isfinite(x[k]) || !std::isfinite(y[k]))
            continue;
        points[2 * i] = (0.5 * x[k] - 0.5 * xMin) * xScale;
        points[2 * i + 1] = (0.5 * y[k] - 0.5 * yMin) * yScale;
        if (finite < n)
            original.push_back(static_cast<std::uint32_t>(k));
        ++i;
    }

    QhullRun run;
    if (run.Run(points.get(), static_cast<int>(finite)) != 0)
        return triangles;
    qhT* qh = run.qh;

    // Each lower facet is a triangle. Its squared edge lengths: the longest
    // decides whether it stays, and each distinct edge goes into the median
    // once (from the facet with the smaller id, or from the only lower facet
    // on a hull edge).
    const std::size_t facets = static_cast<std::size_t>(qh->num_facets);
    triangles.reserve(3 * facets);
    std::vector<double> longest, edges;
    longest.reserve(facets);
    edges.reserve(2 * facets);
    std::size_t hullEdges = 0;
    const coordT* first = qh->first_point;
    const int dim = qh->hull_dim;
    facetT* facet;
    FORALLfacets {
        if (facet->upperdelaunay)
            continue;
        std::uint32_t id[3];
        const coordT* p[3];
        bool ours = qh_setsize(qh, facet->vertices) == 3;
        for (int i = 0; i < 3 && ours; ++i) {
            p[i] = SETelemt_(facet->vertices, i, vertexT)->point;
            const std::ptrdiff_t k = (p[i] - first) / dim;
            ours = k >= 0 && std::size_t(k) < finite; // not the point at infinity
            id[i] = static_cast<std::uint32_t>(k);
        }
        if (!ours)
            continue;
        double opposite[3];
        for (int i = 0; i < 3; ++i) {
            const coordT* a = p[(i + 1) % 3];
            const coordT* b = p[(i + 2) % 3];
            opposite[i] = (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]);
            // The k-th neighbour of a simplicial facet lies across from its k-th vertex.
            const facetT* neighbor = SETelemt_(facet->neighbors, i, facetT);
            if (neighbor->upperdelaunay) {
                ++hullEdges;
                edges.push_back(opposite[i]);
            } else if (facet->id < neighbor->id) {
                edges.push_back(opposite[i]);
            }
        }
        longest.push_back(std::max({opposite[0], opposite[1], opposite[2]}));
        const double turn = (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
        if (turn < 0)
            std::swap(id[1], id[2]);
        triangles.insert(triangles.end(), {id[0], id[1], id[2]});
    }
    if (triangles.empty())
        return triangles;

    // Median by selection: the edge of rank count / 2.
    const auto middle = edges.begin() + static_cast<std::ptrdiff_t>(edges.size() / 2);
    std::nth_element(edges.begin(), middle, edges.end());
    const double medianEdge = std::sqrt(*middle);
    const double limit = maxEdgeFactor > 0 ? (maxEdgeFactor * medianEdge) * (maxEdgeFactor * medianEdge) : inf;

    // Drop long triangles and map to input indices in one pass, in place.
    std::size_t kept = 0;
    for (std::size_t t = 0; t < longest.size(); ++t) {
        if (longest[t] > limit)
            continue;
        for (int i = 0; i < 3; ++i) {
            const std::uint32_t k = triangles[3 * t + i];
            triangles[3 * kept + i] = original.empty() ? k : original[k];
        }
        ++kept;
    }
    triangles.resize(3 * kept);
    if (stats) {
        stats->triangles = kept;
        stats->dropped = longest.size() - kept;
        stats->hullVertices = hullEdges;
        stats->medianEdge = medianEdge;
    }
    return triangles;
}
