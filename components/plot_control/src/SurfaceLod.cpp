#include "SurfaceLod.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace plot {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

bool Stopped(const std::atomic<bool>* abandon)
{
    return abandon && abandon->load(std::memory_order_relaxed);
}

// Cell halves by the corner they leave out; corner k is (i + k / 2, j + k % 2).
constexpr std::uint8_t kDiagonalA = (1u << 3) | (1u << 0); // halves 00-01-10 and 01-11-10
constexpr std::uint8_t kDiagonalB = (1u << 2) | (1u << 1); // halves 00-01-11 and 00-11-10

bool FullCell(std::uint8_t mask) { return mask == kDiagonalA || mask == kDiagonalB; }

// The sorted distinct values of one coordinate of the used vertices.
std::vector<double> Distinct(const std::vector<SurfaceVertex>& vertices, const std::vector<std::uint8_t>& used,
                             double SurfaceVertex::*field)
{
    // A grid has few lines: keep them sorted as they come, trying the last
    // place and the next first (grid order walks the lines in turn). Many
    // distinct values go to a sort of all of them instead.
    constexpr std::size_t kFewValues = 2048;
    std::vector<double> values;
    std::size_t hint = 0;
    bool few = true;
    for (std::size_t i = 0; i < vertices.size() && few; ++i) {
        if (!used[i])
            continue;
        const double v = vertices[i].*field;
        if (hint < values.size() && values[hint] == v)
            continue;
        if (hint + 1 < values.size() && values[hint + 1] == v) {
            ++hint;
            continue;
        }
        const auto at = std::lower_bound(values.begin(), values.end(), v);
        hint = std::size_t(at - values.begin());
        if (at != values.end() && *at == v)
            continue;
        if (values.size() == kFewValues)
            few = false;
        else
            values.insert(at, v);
    }
    if (few)
        return values;

    values.clear();
    double last = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const double v = vertices[i].*field;
        if (used[i] && v != last) { // grid order repeats values; drop the runs early
            values.push_back(v);
            last = v;
        }
    }
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

// Index of v in the sorted values, trying the previous answer and its
// successor first (vertices usually come in grid order).
int RankOf(const std::vector<double>& values, double v, int& hint)
{
    const int n = int(values.size());
    if (values[hint] == v)
        return hint;
    if (hint + 1 < n && values[hint + 1] == v)
        return ++hint;
    if (values[0] == v)
        return hint = 0;
    hint = int(std::lower_bound(values.begin(), values.end(), v) - values.begin());
    return hint;
}

} // namespace

SurfaceLod::SurfaceLod(const SurfaceMesh& mesh, const std::atomic<bool>* abandon) : m_nRevision(mesh.Revision())
{
    // Polled between the steps and every 65,536 vertices or triangles: a
    // large grid takes a few hundred milliseconds, and a frame that is no
    // longer wanted must stop within a few tens.
    const auto stop = [&] { return m_bAbandoned = Stopped(abandon); };
    const auto& vertices = mesh.Vertices();
    const auto& used = mesh.UsedVertices();
    const auto& unit = mesh.UnitPositions();
    const std::size_t n = vertices.size();
    if (mesh.TriangleCount() == 0 || unit.size() != n || n >= (std::size_t(1) << 28))
        return;
    std::size_t usedCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!used[i])
            continue;
        const SurfaceVertex& v = vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
            return;
        ++usedCount;
    }
    if (stop())
        return;
    const std::vector<double> xs = Distinct(vertices, used, &SurfaceVertex::x);
    if (stop())
        return;
    const std::vector<double> zs = Distinct(vertices, used, &SurfaceVertex::z);
    if (stop())
        return;
    if (xs.size() < 3 || zs.size() < 3 || double(xs.size()) * double(zs.size()) > 4.0 * double(usedCount) + 64)
        return; // too small to gain anything, or too sparse to be one grid
    const int nx = int(xs.size()), ny = int(zs.size());

    std::vector<std::uint32_t> vi(n), vj(n);
    std::vector<std::uint32_t> node(std::size_t(nx) * ny, kNone);
    constexpr float inf = std::numeric_limits<float>::infinity();
    Vec3 lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    int hx = 0, hz = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if ((k & 0xFFFF) == 0 && stop())
            return;
        if (!used[k])
            continue;
        const int i = RankOf(xs, vertices[k].x, hx), j = RankOf(zs, vertices[k].z, hz);
        std::uint32_t& slot = node[std::size_t(i) * ny + j];
        if (slot != kNone)
            return; // two vertices at one (x, z): no height field
        slot = std::uint32_t(k);
        vi[k] = std::uint32_t(i);
        vj[k] = std::uint32_t(j);
        const Vec3 u = unit[k];
        lo = {std::min(lo.x, u.x), std::min(lo.y, u.y), std::min(lo.z, u.z)};
        hi = {std::max(hi.x, u.x), std::max(hi.y, u.y), std::max(hi.z, u.z)};
    }

    std::vector<std::uint8_t> cells(std::size_t(nx - 1) * (ny - 1), 0);
    const std::uint32_t* idx = mesh.Indices().data();
    for (std::size_t t = 0, nt = mesh.TriangleCount(); t < nt; ++t, idx += 3) {
        if ((t & 0xFFFF) == 0 && stop())
            return;
        const std::uint32_t i0 = std::min({vi[idx[0]], vi[idx[1]], vi[idx[2]]});
        const std::uint32_t j0 = std::min({vj[idx[0]], vj[idx[1]], vj[idx[2]]});
        unsigned corners = 0;
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t di = vi[idx[k]] - i0, dj = vj[idx[k]] - j0;
            if (di > 1 || dj > 1)
                return; // not within one cell
            corners |= 1u << (di * 2 + dj);
        }
        if (corners == 0b0111 || corners == 0b1011 || corners == 0b1101 || corners == 0b1110)
            cells[std::size_t(i0) * (ny - 1) + j0] |= std::uint8_t(~corners & 15u);
        else
            return; // a repeated vertex
    }

    m_bGrid = true;
    m_nx = nx;
    m_ny = ny;
    m_min = lo;
    m_max = hi;
    m_fCell = std::max((hi.x - lo.x) / float(nx - 1), (hi.z - lo.z) / float(ny - 1));
    m_node = std::move(node);
    m_cells = std::move(cells);
}

const LodLevel* SurfaceLod::Level(const SurfaceMesh& mesh, int step, bool merged, const std::atomic<bool>* abandon)
{
    if (!m_bGrid || step < 2 || mesh.Revision() != m_nRevision)
        return nullptr;
    const int key = step * 2 + (merged ? 1 : 0);
    auto it = m_levels.find(key);
    if (it == m_levels.end()) {
        std::unique_ptr<LodLevel> level = Build(mesh, step, merged, abandon);
        if (Stopped(abandon))
            return nullptr; // perhaps unfinished: not kept
        it = m_levels.emplace(key, std::move(level)).first;
    }
    return it->second.get();
}

const LodLevel* SurfaceLod::Built(const SurfaceMesh& mesh, int step, bool merged) const
{
    if (mesh.Revision() != m_nRevision)
        return nullptr;
    const auto it = m_levels.find(step * 2 + (merged ? 1 : 0));
    return it == m_levels.end() ? nullptr : it->second.get();
}

std::unique_ptr<LodLevel> SurfaceLod::Build(const SurfaceMesh& mesh, int step, bool merged,
                                            const std::atomic<bool>* abandon) const
{
    // Coarse grid lines: every step-th fine line and the last one.
    const auto lines = [step](int count) {
        std::vector<int> l;
        for (int i = 0; i < count - 1; i += step)
            l.push_back(i);
        l.push_back(count - 1);
        return l;
    };
    const std::vector<int> I = lines(m_nx), J = lines(m_ny);
    const int ci = int(I.size()) - 1, cj = int(J.size()) - 1; // coarse cells
    if (ci < 2 || cj < 2)
        return nullptr;

    const auto& unit = mesh.UnitPositions();
    const auto& vertices = mesh.Vertices();
    const ColorView colors = mesh.Colors();
    const int ny = m_ny;
    const auto at = [&](int i, int j) { return m_node[std::size_t(i) * ny + j]; };
    const auto cell = [&](int i, int j) { return m_cells[std::size_t(i) * (ny - 1) + j]; };
    const float heightTolerance = kHeightTolerance * float(step) * m_fCell;

    // Which coarse cells keep their fine triangles.
    std::vector<std::uint8_t> refined(std::size_t(ci) * cj, 0);
    for (int k = 0; k < ci; ++k) {
        if (Stopped(abandon))
            return nullptr;
        for (int l = 0; l < cj; ++l) {
            const int i0 = I[k], i1 = I[k + 1], j0 = J[l], j1 = J[l + 1];
            bool complete = true;
            for (int i = i0; i < i1 && complete; ++i)
                for (int j = j0; j < j1 && complete; ++j)
                    complete = FullCell(cell(i, j));
            if (!complete || merged) {
                refined[std::size_t(k) * cj + l] = complete ? 0 : 1;
                continue;
            }
            // Every fine vertex against the coarse halves 00-01-10 and 01-11-10,
            // interpolated over x and z.
            const std::uint32_t c[4] = {at(i0, j0), at(i0, j1), at(i1, j0), at(i1, j1)};
            const Vec3 p[4] = {unit[c[0]], unit[c[1]], unit[c[2]], unit[c[3]]};
            bool smooth = true;
            for (int i = i0; i <= i1 && smooth; ++i)
                for (int j = j0; j <= j1 && smooth; ++j) {
                    const std::uint32_t v = at(i, j);
                    const Vec3 q = unit[v];
                    // Barycentric weights in the x-z plane: first half
                    // (corners 0, 1, 2), else the second (3, 2, 1).
                    static constexpr int kHalves[2][3] = {{0, 1, 2}, {3, 2, 1}};
                    const int* tri = kHalves[0];
                    Vec3 a, b, d;
                    float wa = 0, wb = 0, wd = 0;
                    for (int h = 0; h < 2; ++h) {
                        tri = kHalves[h];
                        a = p[tri[0]], b = p[tri[1]], d = p[tri[2]];
                        const float det = (b.x - a.x) * (d.z - a.z) - (d.x - a.x) * (b.z - a.z);
                        wb = ((q.x - a.x) * (d.z - a.z) - (d.x - a.x) * (q.z - a.z)) / det;
                        wd = ((b.x - a.x) * (q.z - a.z) - (q.x - a.x) * (b.z - a.z)) / det;
                        wa = 1 - wb - wd;
                        if (wa >= -1e-4f)
                            break;
                    }
                    if (!std::isfinite(wa + wb + wd)) {
                        smooth = false;
                        break;
                    }
                    const float y = wa * a.y + wb * b.y + wd * d.y;
                    if (!(std::fabs(y - q.y) <= heightTolerance)) {
                        smooth = false;
                        break;
                    }
                    const std::uint32_t ca = colors[c[tri[0]]], cb = colors[c[tri[1]]], cd = colors[c[tri[2]]],
                                        cq = colors[v];
                    for (int s = 0; s <= 16; s += 8) {
                        const float ch = wa * float((ca >> s) & 255) + wb * float((cb >> s) & 255) +
                                         wd * float((cd >> s) & 255);
                        if (!(std::fabs(ch - float((cq >> s) & 255)) <= float(kColorTolerance)))
                            smooth = false;
                    }
                }
            refined[std::size_t(k) * cj + l] = smooth ? 0 : 1;
        }
    }

    auto level = std::make_unique<LodLevel>();
    level->step = step;
    level->merged = merged;
    std::vector<std::uint32_t> remap(vertices.size(), kNone);
    const auto& normals = mesh.Normals();
    const auto use = [&](std::uint32_t v) {
        std::uint32_t& r = remap[v];
        if (r == kNone) {
            r = std::uint32_t(level->positions.size());
            level->positions.push_back(unit[v]);
            level->normals.push_back(normals[v]);
            level->colors.push_back(colors[v]);
        }
        return r;
    };
    // Grid nodes as (i, j) pairs.
    struct Node {
        int i, j;
    };
    const auto emit = [&](Node a, Node b, Node c) {
        level->indices.push_back(use(at(a.i, a.j)));
        level->indices.push_back(use(at(b.i, b.j)));
        level->indices.push_back(use(at(c.i, c.j)));
    };
    const auto isRefined = [&](int k, int l) {
        return k >= 0 && l >= 0 && k < ci && l < cj && refined[std::size_t(k) * cj + l];
    };
    std::vector<Node> ring;
    for (int k = 0; k < ci; ++k) {
        if (Stopped(abandon))
            return nullptr;
        for (int l = 0; l < cj; ++l) {
            const int i0 = I[k], i1 = I[k + 1], j0 = J[l], j1 = J[l + 1];
            if (isRefined(k, l)) {
                ++level->refinedCells;
                for (int i = i0; i < i1; ++i)
                    for (int j = j0; j < j1; ++j) {
                        const std::uint8_t m = cell(i, j);
                        const Node n00{i, j}, n01{i, j + 1}, n10{i + 1, j}, n11{i + 1, j + 1};
                        if (m & (1u << 3))
                            emit(n00, n01, n10);
                        if (m & (1u << 0))
                            emit(n01, n11, n10);
                        if (m & (1u << 2))
                            emit(n00, n01, n11);
                        if (m & (1u << 1))
                            emit(n00, n11, n10);
                    }
                continue;
            }
            ++level->coarseCells;
            const bool up = isRefined(k - 1, l), down = isRefined(k + 1, l);
            const bool left = isRefined(k, l - 1), right = isRefined(k, l + 1);
            if (!(up || down || left || right)) {
                emit({i0, j0}, {i0, j1}, {i1, j0});
                emit({i0, j1}, {i1, j1}, {i1, j0});
                continue;
            }
            // A fan from the middle vertex around the cell's border, through
            // every fine vertex on the sides shared with refined cells.
            ring.clear();
            for (int j = j0; j < j1; j += up ? 1 : j1 - j0)
                ring.push_back({i0, j});
            for (int i = i0; i < i1; i += right ? 1 : i1 - i0)
                ring.push_back({i, j1});
            for (int j = j1; j > j0; j -= down ? 1 : j1 - j0)
                ring.push_back({i1, j});
            for (int i = i1; i > i0; i -= left ? 1 : i1 - i0)
                ring.push_back({i, j0});
            const Node m{(i0 + i1) / 2, (j0 + j1) / 2};
            for (std::size_t r = 0; r < ring.size(); ++r) {
                const Node a = ring[r], b = ring[(r + 1) % ring.size()];
                // Skip triangles whose corners lie on one grid line (no area seen from above).
                if ((a.i == b.i && a.i == m.i) || (a.j == b.j && a.j == m.j))
                    continue;
                emit(m, a, b);
            }
        }
    }
    if (merged)
        MergeNodes(mesh, *level, I, J, remap, abandon);
    return level;
}

void SurfaceLod::MergeNodes(const SurfaceMesh& mesh, LodLevel& level, const std::vector<int>& I,
                            const std::vector<int>& J, const std::vector<std::uint32_t>& remap,
                            const std::atomic<bool>* abandon) const
{
    // Each coarse node drawn takes the means over the fine nodes within a
    // coarse cell of it, weighted by a tent of that width (what the pixels
    // covering those cells would average). The mean normal is not made unit
    // again: its diffuse light is the mean of the fine nodes' where they are
    // lit, and over a noisy patch it is shorter, which dulls the highlight as
    // the scattered fine normals do. Fine vertices drawn beside holes
    // share the coarse nodes' entries, so no cracks open between coarse and
    // fine triangles.
    const auto& unit = mesh.UnitPositions();
    const auto& normals = mesh.Normals();
    const ColorView colors = mesh.Colors();
    const int ny = m_ny;
    const int reach = level.step - 1;
    std::vector<float> tent(std::size_t(2 * reach + 1));
    for (int d = -reach; d <= reach; ++d)
        tent[std::size_t(d + reach)] = 1.0f - float(std::abs(d)) / float(level.step);
    for (const int ci : I) {
        if (Stopped(abandon))
            return;
        for (const int cj : J) {
            const std::uint32_t v = m_node[std::size_t(ci) * ny + cj];
            if (v == kNone || remap[v] == kNone)
                continue;
            float y = 0;
            Vec3 n{0, 0, 0};
            float rgb[3] = {0, 0, 0};
            float weight = 0;
            for (int i = std::max(0, ci - reach); i <= std::min(m_nx - 1, ci + reach); ++i)
                for (int j = std::max(0, cj - reach); j <= std::min(ny - 1, cj + reach); ++j) {
                    const std::uint32_t f = m_node[std::size_t(i) * ny + j];
                    if (f == kNone)
                        continue;
                    const float w = tent[std::size_t(i - ci + reach)] * tent[std::size_t(j - cj + reach)];
                    y += w * unit[f].y;
                    n = n + normals[f] * w;
                    const std::uint32_t c = colors[f];
                    rgb[0] += w * float((c >> 16) & 255);
                    rgb[1] += w * float((c >> 8) & 255);
                    rgb[2] += w * float(c & 255);
                    weight += w;
                }
            const std::uint32_t r = remap[v];
            const float inv = 1.0f / weight;
            level.positions[r].y = y * inv;
            level.normals[r] = {n.x * inv, n.y * inv, n.z * inv};
            const auto channel = [&](float sum) { return std::uint32_t(std::lround(sum * inv)) & 255u; };
            level.colors[r] = (colors[v] & 0xFF000000u) | (channel(rgb[0]) << 16) | (channel(rgb[1]) << 8) |
                              channel(rgb[2]);
        }
    }
}

SurfaceLod* SurfaceMesh::LevelOfDetail(const std::atomic<bool>& abandon) const
{
    if (HasLevelOfDetail())
        return m_pLod.get();
    auto lod = std::make_shared<SurfaceLod>(*this, &abandon);
    if (lod->Abandoned())
        return nullptr; // unfinished: not kept
    m_pLod = std::move(lod);
    return m_pLod.get();
}

bool SurfaceMesh::HasLevelOfDetail() const
{
    return m_pLod && m_pLod->Revision() == m_nRevision;
}

SurfaceLod& SurfaceMesh::LevelOfDetail() const
{
    if (!m_pLod || m_pLod->Revision() != m_nRevision)
        m_pLod = std::make_shared<SurfaceLod>(*this);
    return *m_pLod;
}

} // namespace plot
