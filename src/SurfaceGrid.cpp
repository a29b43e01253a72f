#include "SurfaceGrid.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <new>

namespace {

// Beyond this many cells, and this many per record, the grid is held sparse.
constexpr double kDenseGridCells = double(1 << 22);
constexpr double kSparseGridFactor = 16.0;

// One more record's value v folded into a cell's height h (a sum for the mean,
// divided by the count once the cell is complete).
double FoldValue(SurfaceAggregate aggregate, double h, double v)
{
    switch (aggregate) {
    case SurfaceAggregate::Max:
        return v > h ? v : h;
    case SurfaceAggregate::Mean:
        return h + v;
    case SurfaceAggregate::Min:
    default:
        return v < h ? v : h;
    }
}

std::uint64_t CellKey(std::int64_t a, std::int64_t b)
{
    return std::uint64_t(a) << 32 | std::uint64_t(b);
}

} // namespace

std::vector<CSurfaceGrid::Cell> CSurfaceGrid::FoldCells(const platform::CChunkedList<GridSample>& samples,
                                                        std::int32_t iMin, std::int32_t jMin,
                                                        SurfaceAggregate aggregate)
{
    std::vector<Cell> cells;
    cells.reserve(samples.Size());
    samples.ForEach([&](const GridSample& x) {
        cells.push_back({static_cast<std::uint32_t>(std::int64_t{x.i} - iMin),
                         static_cast<std::uint32_t>(std::int64_t{x.j} - jMin), x.v});
    });
    const auto before = [](const Cell& l, const Cell& r) { return l.a < r.a || (l.a == r.a && l.b < r.b); };
    // Stable, so a mean sums in record order as the dense grid does.
    std::stable_sort(cells.begin(), cells.end(), before);
    std::size_t kept = 0;
    std::uint32_t nInCell = 0;
    const auto closeCell = [&] {
        if (aggregate == SurfaceAggregate::Mean && kept > 0)
            cells[kept - 1].v /= nInCell;
    };
    for (std::size_t k = 0; k < cells.size(); ++k) {
        if (kept > 0 && !before(cells[kept - 1], cells[k])) {
            cells[kept - 1].v = FoldValue(aggregate, cells[kept - 1].v, cells[k].v);
            ++nInCell;
            continue;
        }
        closeCell();
        cells[kept++] = cells[k];
        nInCell = 1;
    }
    closeCell();
    cells.resize(kept);
    return cells;
}

bool CSurfaceGrid::PreferSparse(std::int64_t nx, std::int64_t ny, std::size_t n)
{
    return double(nx) * double(ny) > kSparseGridFactor * double(n) + kDenseGridCells;
}

CSurfaceGrid::CSurfaceGrid(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                           std::int64_t nx, std::int64_t ny, double vMin, SurfaceAggregate aggregate, bool bSparse)
    : m_nx(nx), m_ny(ny), m_vMin(vMin), m_bSparse(bSparse), m_rMin(DBL_MAX), m_rMax(-DBL_MAX)
{
    if (bSparse)
        BuildSparse(samples, iMin, jMin, aggregate);
    else
        BuildDense(samples, iMin, jMin, aggregate);
    if (m_nVertices == 0)
        m_rMin = m_rMax = 0.0;
}

void CSurfaceGrid::NoteRoughness(std::size_t k, double r)
{
    if (r < m_rMin)
        m_rMin = r;
    if (r > m_rMax)
        m_rMax = r;
    m_Roughness[k] = r;
}

void CSurfaceGrid::BuildDense(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                              SurfaceAggregate aggregate)
{
    const std::int64_t nx = m_nx, ny = m_ny;
    if (nx > static_cast<std::int64_t>(std::numeric_limits<std::ptrdiff_t>::max() / sizeof(DenseCell)) / ny)
        throw std::bad_alloc();
    m_Dense = platform::CZeroedArray<DenseCell>(static_cast<std::size_t>(nx * ny));
    DenseCell* const cells = m_Dense.data();
    std::size_t nValid = 0;
    samples.ForEach([&](const GridSample& s) {
        DenseCell& cell = cells[(std::int64_t{s.i} - iMin) * ny + (std::int64_t{s.j} - jMin)];
        if (!cell.bValid) {
            ++nValid;
            cell = {true, 1, s.v};
            return;
        }
        cell.dValue = FoldValue(aggregate, cell.dValue, s.v);
        ++cell.nVertex;
    });
    if (aggregate == SurfaceAggregate::Mean)
        for (std::int64_t c = 0; c < nx * ny; ++c)
            if (cells[c].bValid)
                cells[c].dValue /= cells[c].nVertex;

    // Vertices in grid order. Away from the border the neighbours are fixed
    // offsets from the cell; at it, those outside the grid count with vMin.
    std::ptrdiff_t offsets[kNeighbourCount];
    for (int k = 0; k < kNeighbourCount; ++k)
        offsets[k] = kNeighbours[k][0] * static_cast<std::ptrdiff_t>(ny) + kNeighbours[k][1];
    m_Roughness = platform::CZeroedArray<double>(nValid);
    const double vMin = m_vMin;
    std::uint32_t nVertices = 0;
    for (std::int64_t a = 0; a < nx; ++a) {
        const bool bInnerRow = a >= 2 && a + 2 < nx;
        for (std::int64_t b = 0; b < ny; ++b) {
            DenseCell& cell = cells[a * ny + b];
            if (!cell.bValid)
                continue;
            double r;
            if (bInnerRow && b >= 2 && b + 2 < ny) {
                const DenseCell* const centre = &cell;
                r = Roughness(cell.dValue, [&](int n) { return centre[offsets[n]].dValue; });
            } else {
                r = Roughness(cell.dValue, [&](int n) {
                    const std::int64_t na = a + kNeighbours[n][0];
                    const std::int64_t nb = b + kNeighbours[n][1];
                    return (na >= 0 && na < nx && nb >= 0 && nb < ny) ? cells[na * ny + nb].dValue : vMin;
                });
            }
            cell.nVertex = nVertices;
            NoteRoughness(nVertices++, r);
        }
    }
    m_nVertices = nVertices;
}

void CSurfaceGrid::BuildSparse(const platform::CChunkedList<GridSample>& samples, std::int32_t iMin, std::int32_t jMin,
                               SurfaceAggregate aggregate)
{
    m_Cells = FoldCells(samples, iMin, jMin, aggregate);
    const std::size_t kept = m_Cells.size();
    m_At.reserve(kept);
    for (std::size_t k = 0; k < kept; ++k)
        m_At.emplace(CellKey(m_Cells[k].a, m_Cells[k].b), static_cast<std::uint32_t>(k));
    m_Roughness = platform::CZeroedArray<double>(kept);
    for (std::size_t k = 0; k < kept; ++k) {
        const Cell& c = m_Cells[k];
        NoteRoughness(k, Roughness(c.v, [&](int n) {
                          const std::int64_t na = std::int64_t{c.a} + kNeighbours[n][0];
                          const std::int64_t nb = std::int64_t{c.b} + kNeighbours[n][1];
                          if (na < 0 || na >= m_nx || nb < 0 || nb >= m_ny)
                              return m_vMin;
                          const std::uint32_t* other = FindSparse(na, nb);
                          return other ? m_Cells[*other].v : 0.0;
                      }));
    }
    m_nVertices = kept;
}

const std::uint32_t* CSurfaceGrid::FindSparse(std::int64_t a, std::int64_t b) const
{
    const auto it = m_At.find(CellKey(a, b));
    return it == m_At.end() ? nullptr : &it->second;
}

platform::CZeroedArray<std::uint32_t> CSurfaceGrid::Triangles(std::size_t* pCount) const
{
    const std::int64_t nx = m_nx, ny = m_ny;
    // A square's triangles are found from a distinct vertex: at most one square a vertex.
    const auto nVertices = static_cast<std::int64_t>(m_nVertices);
    std::int64_t nSquares = 0;
    if (nx > 1 && ny > 1)
        nSquares = double(nx - 1) * double(ny - 1) < double(nVertices) ? (nx - 1) * (ny - 1) : nVertices;
    platform::CZeroedArray<std::uint32_t> indices(static_cast<std::size_t>(nSquares) * 6);
    std::uint32_t* pIndex = indices.data();
    const auto add = [&pIndex](std::uint32_t i0, std::uint32_t i1, std::uint32_t i2) {
        pIndex[0] = i0, pIndex[1] = i1, pIndex[2] = i2;
        pIndex += 3;
    };
    if (m_bSparse) {
        // Squares in grid order, each found from its corner (a, b + 1).
        for (std::size_t k = 0; k < m_Cells.size(); ++k) {
            const Cell& c01 = m_Cells[k];
            if (c01.b == 0)
                continue;
            const std::uint32_t* k10 = FindSparse(std::int64_t{c01.a} + 1, std::int64_t{c01.b} - 1);
            if (!k10)
                continue;
            const auto k01 = static_cast<std::uint32_t>(k);
            if (const std::uint32_t* k00 = FindSparse(c01.a, std::int64_t{c01.b} - 1))
                add(*k00, k01, *k10);
            if (const std::uint32_t* k11 = FindSparse(std::int64_t{c01.a} + 1, c01.b))
                add(k01, *k11, *k10);
        }
    } else {
        const DenseCell* const cells = m_Dense.data();
        for (std::int64_t a = 0; a + 1 < nx; ++a) {
            const DenseCell* const row0 = cells + a * ny;
            const DenseCell* const row1 = row0 + ny;
            for (std::int64_t b = 0; b + 1 < ny; ++b) {
                const DenseCell& k01 = row0[b + 1];
                const DenseCell& k10 = row1[b];
                if (!k01.bValid || !k10.bValid)
                    continue;
                if (row0[b].bValid)
                    add(row0[b].nVertex, k01.nVertex, k10.nVertex);
                if (row1[b + 1].bValid)
                    add(k01.nVertex, row1[b + 1].nVertex, k10.nVertex);
            }
        }
    }
    *pCount = static_cast<std::size_t>(pIndex - indices.data());
    return indices;
}
