// A surface through 200,000 scattered results (uniform X and Y in different
// units, a noisy value) against the baseline of one direct Qhull Delaunay call
// on the same points, already interleaved: qh_new_qhull, a walk over the facets
// counting triangles, and freeing. Runs alternate baseline and measured, and
// the medians of the pairs are printed. A third run in each round, the same
// Qhull call on the points already scaled to [0, 1]^2, separates the cost of
// the triangulation's own work from the effect of scaling on Qhull.
// Usage: scatter_surface_bench [pairs] [points]   (defaults 11, 200000)
#include "ScatterTriangulation.h"

#include <libqhull_r/libqhull_r.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>

namespace {

// ===========================================================================
// The path from scattered results to a drawable surface: what is measured.
// Today it is the triangulation alone (scaling, copying, Qhull, index mapping,
// median edge, dropping). The rest of the path - records aggregated into
// cells, then these triangles over the cells, then coloured surface vertices -
// is to be added here, so that the ratio below covers all of it (the target
// for the whole path is at most 2x the direct Qhull call).
// Returns the number of triangles, so that the work cannot be left out.
// ===========================================================================
std::size_t SurfaceFromScatter(std::span<const double> x, std::span<const double> y, std::span<const double> value)
{
    (void)value; // colours the surface once the rest of the path is here
    ScatterTriangulationStats stats;
    TriangulateScatter(x, y, kScatterMaxEdgeFactor, &stats);
    return stats.triangles + stats.dropped;
}

ssize_t DiscardWrite(void*, const char*, std::size_t size)
{
    return static_cast<ssize_t>(size);
}

// The baseline: one Qhull call with the options TriangulateScatter uses.
std::size_t DirectQhull(std::vector<coordT>& points)
{
    cookie_io_functions_t io{};
    io.write = DiscardWrite;
    FILE* err = fopencookie(nullptr, "w", io);
    qhT data;
    qhT* qh = &data;
    qh_zero(qh, err);
    char options[] = "qhull d Qbb Qz Qt";
    std::size_t triangles = 0;
    if (qh_new_qhull(qh, 2, static_cast<int>(points.size() / 2), points.data(), False, options, nullptr, err) == 0) {
        facetT* facet;
        FORALLfacets triangles += !facet->upperdelaunay;
    }
    qh_freeqhull(qh, !qh_ALL);
    int curlong = 0, totlong = 0;
    qh_memfreeshort(qh, &curlong, &totlong);
    std::fclose(err);
    return triangles;
}

using Clock = std::chrono::steady_clock;

template <class F>
double Milliseconds(F&& body)
{
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const std::size_t n = argc > 2 ? std::max(3L, std::atol(argv[2])) : 200000;

    // A random design over a filter cutoff (Hz) and a quality factor.
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> cutoff(10.0, 1000.0), quality(0.3, 5.0);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<double> x(n), y(n), value(n), raw(2 * n), scaled(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        x[k] = cutoff(rng);
        y[k] = quality(rng);
        const double u = std::log10(x[k]) - 2.0, q = y[k] - 1.2;
        value[k] = u * u + 0.4 * q * q + 0.3 * std::sin(3 * u) * std::cos(2 * q) + noise(rng);
        raw[2 * k] = x[k];
        raw[2 * k + 1] = y[k];
    }
    const auto [x0, x1] = std::minmax_element(x.begin(), x.end());
    const auto [y0, y1] = std::minmax_element(y.begin(), y.end());
    for (std::size_t k = 0; k < n; ++k) {
        scaled[2 * k] = (x[k] - *x0) / (*x1 - *x0);
        scaled[2 * k + 1] = (y[k] - *y0) / (*y1 - *y0);
    }

    std::vector<double> direct, measured, directScaled, ratio, ratioScaled;
    std::size_t directTriangles = 0, measuredTriangles = 0, scaledTriangles = 0;
    DirectQhull(raw); // warm-up, not counted
    SurfaceFromScatter(x, y, value);
    for (int r = 0; r < pairs; ++r) {
        direct.push_back(Milliseconds([&] { directTriangles = DirectQhull(raw); }));
        measured.push_back(Milliseconds([&] { measuredTriangles = SurfaceFromScatter(x, y, value); }));
        directScaled.push_back(Milliseconds([&] { scaledTriangles = DirectQhull(scaled); }));
        ratio.push_back(measured.back() / direct.back());
        ratioScaled.push_back(measured.back() / directScaled.back());
    }
    // Scaling an axis keeps the hull, so all count 2n - h - 2 triangles.
    if (directTriangles != measuredTriangles || scaledTriangles != measuredTriangles || directTriangles == 0) {
        std::fprintf(stderr, "triangle counts differ: direct %zu, measured %zu, scaled %zu\n", directTriangles,
                     measuredTriangles, scaledTriangles);
        return 1;
    }

    ScatterTriangulationStats stats;
    TriangulateScatter(x, y, kScatterMaxEdgeFactor, &stats);
    std::printf("%zu points: %zu triangles, %zu dropped for long edges, %zu on the hull, median edge %.3g\n", n,
                stats.triangles + stats.dropped, stats.dropped, stats.hullVertices, stats.medianEdge);
    std::printf("%-44s median %9.2f ms\n", "(a) direct Qhull call", Median(direct));
    std::printf("%-44s median %9.2f ms\n", "(b) SurfaceFromScatter (triangulation)", Median(measured));
    std::printf("%-44s median %9.2f ms\n", "(c) direct Qhull call, points in [0, 1]^2", Median(directScaled));
    std::printf("ratio (b)/(a): %.3f (median of %d pairs), %.3f (ratio of medians)   target <= 1.2\n", Median(ratio),
                pairs, Median(measured) / Median(direct));
    std::printf("ratio (b)/(c): %.3f (median of %d pairs), %.3f (ratio of medians)\n", Median(ratioScaled), pairs,
                Median(measured) / Median(directScaled));
    return 0;
}
