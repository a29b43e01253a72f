#include "plot_control/Scene.h"

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
    m_bDirty = true;
    m_pLod.reset();
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
    m_bDirty = true;
}

void PointCloud::UpdateDerived(const Scene& scene)
{
    m_unit.resize(m_points.size());
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        const SurfaceVertex& v = m_points[i];
        m_unit[i] = Finite(v) ? scene.ToUnit(v.x, v.y, v.z) : Vec3{std::numeric_limits<float>::quiet_NaN(), 0, 0};
    }
    // The size is given in units of the horizontal axes.
    const DataBounds& b = scene.Bounds();
    const double sx = 1.0 / (b.max[0] - b.min[0]), sz = 1.0 / (b.max[2] - b.min[2]);
    m_fUnitRadius = float(m_dPointSize * 0.5 * 0.5 * (sx + sz));
    m_mappedWith = b;
    m_bDirty = false;
    ++m_nRevision;
}

std::shared_ptr<SurfaceMesh> Scene::AddSurface()
{
    return m_surfaces.emplace_back(std::make_shared<SurfaceMesh>());
}

std::shared_ptr<PointCloud> Scene::AddPointCloud()
{
    return m_pointClouds.emplace_back(std::make_shared<PointCloud>());
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
    for (const auto& s : m_surfaces)
        if (s->IsVisible() && (s->m_bDirty || !(s->m_mappedWith == m_bounds) || s->m_nRevision == 0))
            s->UpdateDerived(*this);
    for (const auto& p : m_pointClouds)
        if (p->IsVisible() && (p->m_bDirty || !(p->m_mappedWith == m_bounds) || p->m_nRevision == 0))
            p->UpdateDerived(*this);
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
