#pragma once
// A grid slice's records placed on the grid of their X and Y value indices:
// one height per occupied cell, the roughness of each, and the triangles
// between neighbouring cells. Held as an array over the whole grid, or by the
// occupied cells alone when that array would be mostly empty; both give the
// same vertices, roughness and triangles.
#include "platform/hugepages.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// One record of a slice: X and Y value indices (the low 32 bits) and its value.
struct GridSample {
    std::int32_t i;
    std::int32_t j;
    double v;
};

// The height of a cell that several records share.
enum class SurfaceAggregate { Min, Max, Mean };

class CSurfaceGrid {
public:
    // An occupied cell: its place counted from the lowest indices, its height.
    struct Cell {
        std::uint32_t a, b;
        double v;
    };
    // The records in grid order, those of one cell folded into one height (a
    // mean sums in record order).
    static std::vector<Cell> FoldCells(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin,
                                       std::int32_t jMin, SurfaceAggregate aggregate);
    // Whether an nx by ny grid of n records is better held by its cells alone
    // (X and Y with many values and few records each, as from a random design).
    static bool PreferSparse(std::int64_t nx, std::int64_t ny, std::size_t n);

    // The grid spans nx by ny cells from (iMin, jMin); neighbours outside it
    // count with vMin, empty ones inside it with 0. Throws std::bad_alloc when
    // a dense grid cannot be held.
    CSurfaceGrid(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                 std::int64_t nx, std::int64_t ny, double vMin, SurfaceAggregate aggregate, bool bSparse);
    CSurfaceGrid(const CSurfaceGrid&) = delete;
    CSurfaceGrid& operator=(const CSurfaceGrid&) = delete;

    bool IsSparse() const { return m_bSparse; }
    std::size_t VertexCount() const { return m_nVertices; }
    // The range of the vertices' roughness (meaningless without vertices).
    double RoughnessMin() const { return m_rMin; }
    double RoughnessMax() const { return m_rMax; }
    // f(k, a, b, height, roughness) for every vertex k, in grid order.
    template <class F>
    void ForEachVertex(F f) const;
    // Two triangles per grid square, each where its three corners exist, as
    // vertex numbers; *pCount: the indices written.
    platform::CZeroedArray<std::uint32_t> Triangles(std::size_t* pCount) const;

    // The mean absolute difference of v to its 20 neighbours (the 5x5 block
    // without its centre and corners), w(n) giving neighbour n's height; the
    // one kernel both storages use, so they agree to the last bit.
    template <class Neighbour>
    static double Roughness(double v, Neighbour w)
    {
        double sum = 0.0;
        for (int n = 0; n < kNeighbourCount; ++n)
            sum += std::fabs(w(n) - v);
        return sum / kNeighbourCount;
    }
    static constexpr int kNeighbourCount = 20;
    // Neighbour n's offset in a and b, in the order the kernel sums them.
    static constexpr int kNeighbours[kNeighbourCount][2] = {
        {-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1},  {1, -1},  {1, 0}, {1, 1},  {-2, -1}, {-2, 0},
        {-2, 1},  {2, -1}, {2, 0},  {2, 1},  {-1, -2}, {0, -2}, {1, -2}, {-1, 2}, {0, 2},   {1, 2},
    };

private:
    // All-zero bytes are an empty cell; nVertex counts the records of a cell
    // until the vertices are numbered.
    struct DenseCell {
        bool bValid = false;
        std::uint32_t nVertex = 0;
        double dValue = 0.0;
    };
    void BuildDense(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                    SurfaceAggregate aggregate);
    void BuildSparse(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                     SurfaceAggregate aggregate);
    void NoteRoughness(std::size_t k, double r);
    // Vertex number of the cell at (a, b), or null.
    const std::uint32_t* FindSparse(std::int64_t a, std::int64_t b) const;

    std::int64_t m_nx = 0, m_ny = 0;
    double m_vMin = 0.0;
    bool m_bSparse = false;
    std::size_t m_nVertices = 0;
    platform::CZeroedArray<DenseCell> m_Dense; // dense: every cell, a * ny + b
    std::vector<Cell> m_Cells;               // sparse: the vertices' cells
    std::unordered_map<std::uint64_t, std::uint32_t> m_At; // sparse: cell → vertex
    platform::CZeroedArray<double> m_Roughness; // per vertex
    double m_rMin = 0.0, m_rMax = 0.0;
};

template <class F>
void CSurfaceGrid::ForEachVertex(F f) const
{
    if (m_bSparse) {
        for (std::size_t k = 0; k < m_Cells.size(); ++k)
            f(k, std::int64_t{m_Cells[k].a}, std::int64_t{m_Cells[k].b}, m_Cells[k].v, m_Roughness[k]);
        return;
    }
    const DenseCell* const cells = m_Dense.data();
    for (std::int64_t a = 0; a < m_nx; ++a)
        for (std::int64_t b = 0; b < m_ny; ++b) {
            const DenseCell& cell = cells[a * m_ny + b];
            if (cell.bValid)
                f(std::size_t{cell.nVertex}, a, b, cell.dValue, m_Roughness[cell.nVertex]);
        }
}
