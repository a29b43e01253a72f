#pragma once
// Triangles through scattered (x, y) points, so that a surface can be drawn
// over results that do not lie on a grid.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct ScatterTriangulationStats {
    std::size_t triangles = 0;    // triangles returned
    std::size_t dropped = 0;      // triangles left out for a long edge
    std::size_t hullVertices = 0; // points on the boundary of the triangulation (its convex hull)
    double medianEdge = 0;        // median length of the distinct edges, in scaled units
};

// Delaunay triangles of the points (x[k], y[k]) after scaling each axis's range
// to [0, 1], so that axes of different units count alike. Three point indices
// per triangle, counter-clockwise in (x, y); a triangle of three collinear
// points (rare, from exactly cocircular input such as a grid) keeps the order
// it came in. Triangles with an edge longer than maxEdgeFactor times the median
// edge length of the whole triangulation are dropped; maxEdgeFactor <= 0 keeps
// all. Fewer than 3 points, all points on a line, x and y of different sizes
// or non-finite coordinates give no triangles (non-finite points are left out),
// never a crash or output on stderr. Of coincident points only one is used as
// a vertex. When there are no triangles, stats holds zeros.
std::vector<std::uint32_t> TriangulateScatter(std::span<const double> x, std::span<const double> y,
                                              double maxEdgeFactor, ScatterTriangulationStats* stats = nullptr);

// The factor the chart uses: drops slivers along the hull and bridges across
// gaps between clusters, keeps the ordinary variation of a random design.
inline constexpr double kScatterMaxEdgeFactor = 3.0;
