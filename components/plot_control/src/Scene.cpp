#include "plot_control/Scene.h"

#include "plot_control/ColorRamp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace plot {

namespace {

bool Finite(const SurfaceVertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

std::optional<DataBounds> BoundsOf(const std::vector<SurfaceVertex>& vertices)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    double lo[3] = {inf, inf, inf}, hi[3] = {-inf, -inf, -inf};
    bool any = false;
    for (const SurfaceVertex& v : vertices) {
        if (!Finite(v))
            continue;
        any = true;
        lo[0] = std::min(lo[0], v.x), hi[0] = std::max(hi[0], v.x);
        lo[1] = std::min(lo[1], v.y), hi[1] = std::max(hi[1], v.y);
        lo[2] = std::min(lo[2], v.z), hi[2] = std::max(hi[2], v.z);
    }
    if (!any)
        return std::nullopt;
    DataBounds b;
    for (int a = 0; a < 3; ++a)
        b.min[a] = lo[a], b.max[a] = hi[a];
    return b;
}

// The given colours of the finite vertices with the lowest and highest value.
std::array<std::uint32_t, 2> ExtremeColors(const std::vector<SurfaceVertex>& vertices)
{
    const SurfaceVertex* lo = nullptr;
    const SurfaceVertex* hi = nullptr;
    for (const SurfaceVertex& v : vertices) {
        if (!Finite(v))
            continue;
        if (!lo || v.y < lo->y)
            lo = &v;
        if (!hi || v.y > hi->y)
            hi = &v;
    }
    if (!lo)
        return {};
    return {lo->color & 0xFFFFFFu, hi->color & 0xFFFFFFu};
}

// Colours of the vertices' values through the ramp over [lo, hi].
void MakeValueColors(const std::vector<SurfaceVertex>& vertices, const std::array<double, 2>& range,
                     std::vector<std::uint32_t>& out)
{
    out.resize(vertices.size());
    for (std::size_t i = 0; i < vertices.size(); ++i)
        out[i] = RampColor(vertices[i].y, range[0], range[1]);
}

ColorView ViewOf(const std::vector<SurfaceVertex>& vertices, const std::vector<std::uint32_t>& valueColors,
                 bool byValue)
{
    if (byValue && valueColors.size() == vertices.size() && !vertices.empty())
        return {valueColors.data(), 1};
    if (vertices.empty())
        return {nullptr, sizeof(SurfaceVertex) / sizeof(std::uint32_t)};
    return {&vertices.data()->color, sizeof(SurfaceVertex) / sizeof(std::uint32_t)};
}

// Bits 0..9 of v spread to bits 0, 3, 6, ... 27.
constexpr std::uint32_t Spread3(std::uint32_t v)
{
    std::uint32_t r = 0;
    for (int b = 0; b < 10; ++b)
        r |= ((v >> b) & 1u) << (3 * b);
    return r;
}

// The points' order along a Morton curve through their box (1024 steps an
// axis: eight points in a row then lie within a few pixels of each other in
// a frame of a million points); points that are not finite come last; ties
// keep their order. An LSD radix sort of 30-bit keys, four passes.
std::vector<std::uint32_t> MortonOrder(const std::vector<SurfaceVertex>& points, const std::optional<DataBounds>& box)
{
    static constexpr auto spread = [] {
        std::array<std::uint32_t, 1024> t{};
        for (std::uint32_t v = 0; v < 1024; ++v)
            t[v] = Spread3(v);
        return t;
    }();
    const std::size_t n = points.size();
    std::vector<std::uint32_t> order(n);
    if (!box) {
        for (std::size_t i = 0; i < n; ++i)
            order[i] = std::uint32_t(i);
        return order;
    }
    double scale[3];
    for (int a = 0; a < 3; ++a) {
        const double extent = box->max[a] - box->min[a];
        scale[a] = extent > 0 && std::isfinite(extent) ? 1023.999 / extent : 0.0;
    }
    const auto step = [](double v, double lo, double s) { return std::min(std::uint32_t((v - lo) * s), 1023u); };
    std::vector<std::uint32_t> keys, index, keys2, index2;
    keys.reserve(n);
    index.reserve(n);
    std::vector<std::uint32_t> notFinite;
    for (std::size_t i = 0; i < n; ++i) {
        const SurfaceVertex& v = points[i];
        if (!Finite(v)) {
            notFinite.push_back(std::uint32_t(i));
            continue;
        }
        keys.push_back(spread[step(v.x, box->min[0], scale[0])] | spread[step(v.y, box->min[1], scale[1])] << 1 |
                       spread[step(v.z, box->min[2], scale[2])] << 2);
        index.push_back(std::uint32_t(i));
    }
    const std::size_t m = keys.size();
    keys2.resize(m);
    index2.resize(m);
    for (int shift = 0; shift < 30; shift += 8) {
        std::array<std::size_t, 257> start{};
        for (const std::uint32_t k : keys)
            ++start[((k >> shift) & 255u) + 1];
        for (int b = 0; b < 256; ++b)
            start[std::size_t(b) + 1] += start[std::size_t(b)];
        for (std::size_t i = 0; i < m; ++i) {
            const std::size_t to = start[(keys[i] >> shift) & 255u]++;
            keys2[to] = keys[i];
            index2[to] = index[i];
        }
        keys.swap(keys2);
        index.swap(index2);
    }
    std::copy(index.begin(), index.end(), order.begin());
    std::copy(notFinite.begin(), notFinite.end(), order.begin() + std::ptrdiff_t(m));
    return order;
}

void Widen(double& lo, double& hi)
{
    if (hi > lo)
        return;
    const double half = lo == 0 ? 0.5 : std::fabs(lo) * 0.05;
    lo -= half;
    hi += half;
}

} // namespace

void SurfaceMesh::SetData(const SurfaceVertex* vertices, std::size_t count, const std::uint32_t* indices,
                          std::size_t indexCount)
{
    if (!vertices)
        count = 0;
    if (!indices)
        indexCount = 0;
    m_vertices.assign(vertices, vertices + count);
    indexCount -= indexCount % 3;
    const std::uint32_t largest = indexCount ? *std::max_element(indices, indices + indexCount) : 0;
    if (largest < count) {
        m_indices.assign(indices, indices + indexCount);
    } else {
        m_indices.clear();
        for (std::size_t t = 0; t < indexCount; t += 3)
            if (indices[t] < count && indices[t + 1] < count && indices[t + 2] < count)
                m_indices.insert(m_indices.end(), indices + t, indices + t + 3);
    }
    m_used.assign(count, 0);
    for (const std::uint32_t i : m_indices)
        m_used[i] = 1;
    m_dataBounds = BoundsOf(m_vertices);
    m_extremeColors = ExtremeColors(m_vertices);
    m_bDirty = true;
    m_bColorsStale = true;
    m_pLod.reset();
}

void SurfaceMesh::SetColorByValue(bool on)
{
    if (on == m_bColorByValue)
        return;
    m_bColorByValue = on;
    m_bColorsStale = true;
}

ColorView SurfaceMesh::Colors() const
{
    return ViewOf(m_vertices, m_valueColors, m_bColorByValue);
}

void SurfaceMesh::UpdateDerived(const Scene& scene)
{
    const std::size_t n = m_vertices.size();
    m_unit.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SurfaceVertex& v = m_vertices[i];
        m_unit[i] = Finite(v) ? scene.ToUnit(v.x, v.y, v.z)
                              : Vec3{std::numeric_limits<float>::quiet_NaN(), 0, 0};
    }
    // Smooth normals: area-weighted sum of the faces around each vertex.
    m_normals.assign(n, Vec3{});
    const std::uint32_t* idx = m_indices.data();
    for (std::size_t t = 0, nt = m_indices.size(); t < nt; t += 3) {
        const std::uint32_t a = idx[t], b = idx[t + 1], c = idx[t + 2];
        const Vec3 fn = Cross(m_unit[b] - m_unit[a], m_unit[c] - m_unit[a]);
        if (!std::isfinite(fn.x + fn.y + fn.z))
            continue;
        m_normals[a] = m_normals[a] + fn;
        m_normals[b] = m_normals[b] + fn;
        m_normals[c] = m_normals[c] + fn;
    }
    for (Vec3& nv : m_normals) {
        const float l2 = Dot(nv, nv);
        nv = l2 > 0 ? nv * (1.0f / std::sqrt(l2)) : Vec3{0, 1, 0};
    }
    m_mappedWith = scene.Bounds();
    m_bDirty = false;
    ++m_nRevision;
}

void PointCloud::SetData(const SurfaceVertex* points, std::size_t count, double pointSize)
{
    if (!points)
        count = 0;
    m_points.assign(points, points + count);
    m_dPointSize = std::isfinite(pointSize) && pointSize > 0 ? pointSize : 0;
    m_dataBounds = BoundsOf(m_points);
    m_extremeColors = ExtremeColors(m_points);
    m_bDirty = true;
    m_bOrderStale = true;
    m_bColorsStale = true;
}

void PointCloud::SetColorByValue(bool on)
{
    if (on == m_bColorByValue)
        return;
    m_bColorByValue = on;
    m_bColorsStale = true;
}

void PointCloud::SetPixelSize(double pixels)
{
    m_dPixelSize = std::isfinite(pixels) && pixels > 0 ? std::min(pixels, kMaxPointPixels) : 0;
}

int PointDiameterPixels(double pixels, double scale)
{
    const double d = std::min(pixels, kMaxPointPixels) * (std::isfinite(scale) && scale > 0 ? scale : 1.0);
    if (!(d >= 1.5))
        return 1;
    return int(std::min(d, 1024.0) + 0.5);
}

void PointCloud::UpdateDerived(const Scene& scene, bool positions, const std::array<double, 2>* valueRange)
{
    if (m_bOrderStale || m_order.size() != m_points.size()) {
        m_order = MortonOrder(m_points, m_dataBounds);
        m_bOrderStale = false;
    }
    // One pass in draw order over the points, whose records are read in
    // their own (scattered) order: the next ones are fetched ahead.
    const std::size_t n = m_points.size();
    const bool colours = m_bColorsStale || (m_bColorByValue && valueRange && m_colouredWith != *valueRange);
    if (!positions && !colours)
        return; // the usual frame: nothing changed
    if (positions)
        m_unit.resize(n);
    if (colours)
        m_drawColors.resize(n);
    const std::array<double, 2> range = valueRange ? *valueRange : std::array<double, 2>{0, 0};
    constexpr std::size_t kAhead = 16;
    for (std::size_t k = 0; k < n; ++k) {
        if (k + kAhead < n)
            __builtin_prefetch(&m_points[m_order[k + kAhead]]);
        const SurfaceVertex& v = m_points[m_order[k]];
        if (positions)
            m_unit[k] = Finite(v) ? scene.ToUnit(v.x, v.y, v.z) : Vec3{std::numeric_limits<float>::quiet_NaN(), 0, 0};
        if (colours)
            m_drawColors[k] = m_bColorByValue ? RampColor(v.y, range[0], range[1]) : v.color & 0xFFFFFFu;
    }
    if (positions) {
        // The size is given in units of the horizontal axes.
        const DataBounds& b = scene.Bounds();
        const double sx = 1.0 / (b.max[0] - b.min[0]), sz = 1.0 / (b.max[2] - b.min[2]);
        m_fUnitRadius = float(m_dPointSize * 0.5 * 0.5 * (sx + sz));
        m_mappedWith = b;
        m_bDirty = false;
    }
    if (colours) {
        m_colouredWith = range;
        m_bColorsStale = false;
    }
    if (positions || colours)
        ++m_nRevision;
}

std::shared_ptr<SurfaceMesh> Scene::AddSurface()
{
    auto& s = m_surfaces.emplace_back(std::make_shared<SurfaceMesh>());
    s->m_nAdded = m_nAdded++;
    return s;
}

std::shared_ptr<PointCloud> Scene::AddPointCloud()
{
    auto& p = m_pointClouds.emplace_back(std::make_shared<PointCloud>());
    p->m_nAdded = m_nAdded++;
    return p;
}

void Scene::SetAxisTitles(std::wstring x, std::wstring y, std::wstring z)
{
    m_titles = {std::move(x), std::move(y), std::move(z)};
}

void Scene::WaterLevelUp()
{
    m_nWaterStep = std::min(m_nWaterStep + 1, kWaterSteps);
}

void Scene::WaterLevelDown()
{
    m_nWaterStep = std::max(m_nWaterStep - 1, 0);
}

double Scene::WaterLevelValue() const
{
    return m_bounds.min[1] + (m_bounds.max[1] - m_bounds.min[1]) * m_nWaterStep / kWaterSteps;
}

std::optional<std::array<double, 2>> Scene::ValueRange() const
{
    std::optional<std::array<double, 2>> range;
    const auto merge = [&range](bool take, const std::optional<DataBounds>& b) {
        if (!take || !b)
            return;
        if (!range)
            range = std::array<double, 2>{b->min[1], b->max[1]};
        else
            range = std::array<double, 2>{std::min((*range)[0], b->min[1]), std::max((*range)[1], b->max[1])};
    };
    for (const auto& s : m_surfaces)
        merge(s->IsVisible() && s->ColorByValue(), s->m_dataBounds);
    for (const auto& p : m_pointClouds)
        merge(p->IsVisible() && p->ColorByValue(), p->m_dataBounds);
    return range;
}

void Scene::SetColorScale(ColorScaleMode mode, ColorScale scale)
{
    m_colorScaleMode = mode;
    m_colorScale = std::move(scale);
}

std::optional<ColorScale> Scene::ColorBar() const
{
    if (m_colorScaleMode == ColorScaleMode::Given)
        return m_colorScale;
    if (m_colorScaleMode == ColorScaleMode::Hidden)
        return std::nullopt;
    const auto range = ValueRange();
    if (!range)
        return std::nullopt;
    return ColorScale{m_titles[1], (*range)[0], (*range)[1], true};
}

std::vector<LegendEntry> Scene::Legend() const
{
    std::vector<LegendEntry> entries;
    if (!m_bLegend)
        return entries;
    const auto range = ValueRange().value_or(std::array<double, 2>{0, 0});
    std::size_t named = 0;
    const auto add = [&](const auto& series, bool points) {
        if (series.Name().empty())
            return;
        ++named;
        if (!series.IsVisible())
            return;
        LegendEntry e{series.Name(), points, series.m_extremeColors, series.m_nAdded};
        if (series.ColorByValue() && series.m_dataBounds)
            e.colors = {RampColor(series.m_dataBounds->min[1], range[0], range[1]),
                        RampColor(series.m_dataBounds->max[1], range[0], range[1])};
        entries.push_back(std::move(e));
    };
    for (const auto& s : m_surfaces)
        add(*s, false);
    for (const auto& p : m_pointClouds)
        add(*p, true);
    if (named < 2)
        entries.clear(); // one series needs no legend
    std::sort(entries.begin(), entries.end(), [](const LegendEntry& a, const LegendEntry& b) { return a.order < b.order; });
    return entries;
}

void Scene::Prepare()
{
    std::optional<DataBounds> all;
    auto merge = [&all](const std::optional<DataBounds>& b) {
        if (!b)
            return;
        if (!all) {
            all = b;
            return;
        }
        for (int a = 0; a < 3; ++a) {
            all->min[a] = std::min(all->min[a], b->min[a]);
            all->max[a] = std::max(all->max[a], b->max[a]);
        }
    };
    for (const auto& s : m_surfaces)
        if (s->IsVisible())
            merge(s->m_dataBounds);
    for (const auto& p : m_pointClouds)
        if (p->IsVisible())
            merge(p->m_dataBounds);
    m_bHasData = all.has_value();
    DataBounds b = all.value_or(DataBounds{});
    for (int a = 0; a < 3; ++a) {
        Widen(b.min[a], b.max[a]);
        m_scale[a] = 1.0 / (b.max[a] - b.min[a]);
    }
    m_bounds = b;
    const std::array<double, 2> range = ValueRange().value_or(std::array<double, 2>{0, 0});
    // Colours by value follow the shared range: remade when it, the data or
    // the flag changed, never per frame. A change counts as a new revision
    // (GPU buffers and coarse levels hold the colours).
    const auto recolour = [&range](SurfaceMesh& series, const std::vector<SurfaceVertex>& data) {
        if (!series.m_bColorsStale && !(series.m_bColorByValue && series.m_colouredWith != range))
            return;
        if (series.m_bColorByValue) {
            MakeValueColors(data, range, series.m_valueColors);
            series.m_colouredWith = range;
        } else {
            series.m_valueColors = {};
        }
        series.m_bColorsStale = false;
        ++series.m_nRevision;
    };
    for (const auto& s : m_surfaces) {
        if (!s->IsVisible())
            continue;
        if (s->m_bDirty || !(s->m_mappedWith == m_bounds) || s->m_nRevision == 0)
            s->UpdateDerived(*this);
        recolour(*s, s->m_vertices);
    }
    for (const auto& p : m_pointClouds)
        if (p->IsVisible())
            p->UpdateDerived(*this, p->m_bDirty || !(p->m_mappedWith == m_bounds) || p->m_nRevision == 0, &range);
}

Vec3 Scene::ToUnit(double x, double y, double z) const
{
    return {float((x - m_bounds.min[0]) * m_scale[0] - 0.5), float((y - m_bounds.min[1]) * m_scale[1] - 0.5),
            float((z - m_bounds.min[2]) * m_scale[2] - 0.5)};
}

std::array<double, 3> Scene::FromUnit(Vec3 u) const
{
    return {m_bounds.min[0] + (u.x + 0.5) / m_scale[0], m_bounds.min[1] + (u.y + 0.5) / m_scale[1],
            m_bounds.min[2] + (u.z + 0.5) / m_scale[2]};
}

} // namespace plot
