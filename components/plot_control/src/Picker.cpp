#include "plot_control/Picker.h"

#include <cmath>
#include <limits>

namespace plot {

namespace {

// Pixels beyond a pixel-sized point's disc that still pick it.
constexpr float kPickSlopPixels = 2.0f;

// Möller-Trumbore; the distance along the ray, or a negative value.
float HitTriangle(Vec3 o, Vec3 d, Vec3 a, Vec3 b, Vec3 c)
{
    const Vec3 e1 = b - a, e2 = c - a;
    const Vec3 p = Cross(d, e2);
    const float det = Dot(e1, p);
    if (std::fabs(det) < 1e-12f)
        return -1;
    const float inv = 1.0f / det;
    const Vec3 s = o - a;
    const float u = Dot(s, p) * inv;
    if (u < 0 || u > 1)
        return -1;
    const Vec3 q = Cross(s, e1);
    const float v = Dot(d, q) * inv;
    if (v < 0 || u + v > 1)
        return -1;
    return Dot(e2, q) * inv;
}

float HitSphere(Vec3 o, Vec3 d, Vec3 centre, float radius)
{
    const Vec3 oc = o - centre;
    const float b = Dot(oc, d);
    const float c = Dot(oc, oc) - radius * radius;
    const float disc = b * b - c;
    if (disc < 0)
        return -1;
    const float root = std::sqrt(disc);
    const float t = -b - root;
    return t >= 0 ? t : -b + root;
}

} // namespace

std::optional<PickResult> PickScene(Scene& scene, const ViewProjection& vp, float sx, float sy)
{
    scene.Prepare();
    Vec3 o, d;
    vp.Ray(sx, sy, &o, &d);
    float best = std::numeric_limits<float>::infinity();
    std::optional<PickResult> result;

    const auto& surfaces = scene.Surfaces();
    for (std::size_t s = 0; s < surfaces.size(); ++s) {
        const SurfaceMesh& mesh = *surfaces[s];
        if (!mesh.IsVisible())
            continue;
        const Vec3* pos = mesh.UnitPositions().data();
        const std::uint32_t* idx = mesh.Indices().data();
        for (std::size_t k = 0, n = mesh.Indices().size(); k < n; k += 3) {
            const float t = HitTriangle(o, d, pos[idx[k]], pos[idx[k + 1]], pos[idx[k + 2]]);
            if (!(t >= 0 && t < best))
                continue;
            best = t;
            const Vec3 hit = o + d * t;
            std::uint32_t nearest = idx[k];
            float nearestDist = std::numeric_limits<float>::infinity();
            for (int j = 0; j < 3; ++j) {
                const Vec3 diff = pos[idx[k + j]] - hit;
                const float dist = Dot(diff, diff);
                if (dist < nearestDist)
                    nearestDist = dist, nearest = idx[k + j];
            }
            const SurfaceVertex& v = mesh.Vertices()[nearest];
            result = PickResult{PickResult::Kind::Surface, s, nearest, {v.x, v.y, v.z}};
        }
    }
    const auto& clouds = scene.PointClouds();
    for (std::size_t s = 0; s < clouds.size(); ++s) {
        const PointCloud& cloud = *clouds[s];
        if (!cloud.IsVisible())
            continue;
        if (cloud.PixelSize() > 0) {
            // Discs of a size on the screen: a point is hit within its disc
            // and a little slop; its depth is that of the front of a sphere
            // of the disc's size, as drawn.
            const float radius = 0.5f * float(cloud.PixelSize());
            const float reach = radius + kPickSlopPixels;
            for (std::size_t k = 0; k < cloud.Points().size(); ++k) {
                const Vec3 c = cloud.UnitPositions()[k];
                float px, py;
                if (!vp.Project(c, &px, &py))
                    continue;
                const float dx = px - sx, dy = py - sy;
                if (!(dx * dx + dy * dy <= reach * reach))
                    continue;
                const float dist = -vp.view.TransformPoint(c).z;
                const float t = Dot(c - o, d) - radius / vp.PixelsPerUnit(dist);
                if (!(t < best))
                    continue;
                best = t;
                const std::size_t i = cloud.DrawOrder()[k];
                const SurfaceVertex& v = cloud.Points()[i];
                result = PickResult{PickResult::Kind::Point, s, i, {v.x, v.y, v.z}};
            }
            continue;
        }
        // Tiny spheres are drawn at least a few pixels wide; pick them as drawn.
        const float radius = cloud.UnitRadius();
        for (std::size_t k = 0; k < cloud.Points().size(); ++k) {
            const Vec3 c = cloud.UnitPositions()[k];
            const float dist = -vp.view.TransformPoint(c).z;
            const float minRadius = dist > 0 ? 3.0f / vp.PixelsPerUnit(dist) : radius;
            const float t = HitSphere(o, d, c, std::max(radius, minRadius));
            if (!(t >= 0 && t < best))
                continue;
            best = t;
            const std::size_t i = cloud.DrawOrder()[k];
            const SurfaceVertex& v = cloud.Points()[i];
            result = PickResult{PickResult::Kind::Point, s, i, {v.x, v.y, v.z}};
        }
    }
    return result;
}

} // namespace plot
