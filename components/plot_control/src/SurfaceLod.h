#pragma once
// Coarser versions of a surface whose triangles form a grid, for frames in
// which its cells are smaller than pixels.
//
// A mesh is a grid when the x and z values of its vertices take nx and ny
// distinct values, every (x, z) pair occurs at most once, and every triangle
// is one half of a grid cell (either diagonal). Holes (missing cells or
// halves) are allowed. Level `step` keeps every step-th grid line (and the
// last); a coarse cell is drawn as two triangles only when all fine cells in
// it are present and every fine vertex in it lies within a tolerance of the
// coarse triangles (height and colour), so ridges, spikes and colour details
// keep their fine triangles. Coarse cells next to such refined cells are
// drawn as a fan through the fine vertices on the shared side, so the
// surface stays closed (no cracks at T-junctions).
//
// A MERGED level is for cells too small to show their differences (a pixel
// or two on screen): every complete coarse cell is drawn coarse whatever its
// height noise, and each coarse grid node takes the mean height, normal and
// colour of the fine nodes around it, as the pixels of a supersampled frame
// would average them.
//
// Levels are built on first use and hold their own compact vertex arrays.
// Picking and the OpenGL renderer always use the full mesh.
#include "plot_control/Scene.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace plot {

struct LodLevel {
    int step = 1;
    bool merged = false;
    std::vector<Vec3> positions; // unit cube
    std::vector<Vec3> normals;   // the full mesh's normals of these vertices
    std::vector<std::uint32_t> colors;
    std::vector<std::uint32_t> indices;
    std::size_t coarseCells = 0;  // drawn as two triangles or a fan
    std::size_t refinedCells = 0; // drawn with their fine triangles
};

class SurfaceLod {
public:
    // Height tolerance of a coarse cell as a fraction of its width, and the
    // colour tolerance per channel.
    static constexpr float kHeightTolerance = 0.5f;
    static constexpr int kColorTolerance = 40;

    // Needs the mesh's unit positions (after Scene::Prepare). Stops early,
    // as Abandoned(), once *abandon is set.
    explicit SurfaceLod(const SurfaceMesh& mesh, const std::atomic<bool>* abandon = nullptr);

    bool Abandoned() const { return m_bAbandoned; }
    bool IsGrid() const { return m_bGrid; }
    int Columns() const { return m_nx; } // distinct x values
    int Rows() const { return m_ny; }    // distinct z values
    // The larger of the mean unit-cube spacings of the grid lines along x and z.
    float CellSize() const { return m_fCell; }
    // Unit-cube bounds of the used vertices.
    Vec3 Min() const { return m_min; }
    Vec3 Max() const { return m_max; }
    std::uint64_t Revision() const { return m_nRevision; }

    // step 2, 4, 8, ...; null when the mesh is no grid or the step leaves
    // fewer than two coarse cells along an axis.
    // `mesh` is the one this was made from.
    // A build stopped by *abandon gives null and is not kept.
    const LodLevel* Level(const SurfaceMesh& mesh, int step, bool merged = false,
                          const std::atomic<bool>* abandon = nullptr);
    // The level if it was built already (null otherwise, or when it has none).
    const LodLevel* Built(const SurfaceMesh& mesh, int step, bool merged) const;

private:
    std::unique_ptr<LodLevel> Build(const SurfaceMesh& mesh, int step, bool merged,
                                    const std::atomic<bool>* abandon) const;
    void MergeNodes(const SurfaceMesh& mesh, LodLevel& level, const std::vector<int>& I, const std::vector<int>& J,
                    const std::vector<std::uint32_t>& remap, const std::atomic<bool>* abandon) const;

    std::uint64_t m_nRevision = 0;
    bool m_bGrid = false;
    bool m_bAbandoned = false;
    int m_nx = 0, m_ny = 0;
    float m_fCell = 0;
    Vec3 m_min, m_max;
    std::vector<std::uint32_t> m_node;  // nx * ny: vertex at grid node (i, j), or kNone
    std::vector<std::uint8_t> m_cells;  // (nx-1) * (ny-1): bit k set = the half without corner k
    std::map<int, std::unique_ptr<LodLevel>> m_levels;
};

} // namespace plot
