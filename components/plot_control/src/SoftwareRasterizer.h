#pragma once
// Triangle, line and sprite rasterization into a 32-bit colour buffer with a
// float depth buffer. Triangles use exact edge functions on coordinates
// snapped to 1/16 pixel with the top-left fill rule, so neighbouring
// triangles share their edge pixels without gaps or double coverage. Every
// call draws only rows [y0, y1), so two threads can split one frame.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace plot::raster {

// A vertex after projection: screen position (pixels, y down), depth 0..1 and
// lit colour 0x00RRGGBB. depth < 0 marks a vertex that cannot be drawn (behind
// the eye, outside the depth range or not finite).
struct ScreenVertex {
    float x, y, z;
    std::uint32_t color;
};

struct Target {
    std::uint32_t* pixels = nullptr;
    float* depth = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // pixels per row
};

inline std::uint32_t Pack(float r, float g, float b)
{
    const auto c = [](float v) { return std::uint32_t(v <= 0 ? 0 : (v >= 255 ? 255 : int(v + 0.5f))); };
    return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

namespace detail {
constexpr int kSub = 16;          // subpixel steps per pixel
constexpr float kLimit = 1.0e6f;  // screen coordinates are clamped here to keep the fixed-point products in range

inline std::int64_t Snap(float v)
{
    v = std::clamp(v, -kLimit, kLimit);
    return std::int64_t(std::lrintf(v * kSub));
}
inline std::int64_t FloorDiv16(std::int64_t a) { return a >> 4; }
inline std::int64_t CeilDiv16(std::int64_t a) { return -((-a) >> 4); }
} // namespace detail

// Calls shade(pixelIndex, x, y, wa, wb, wc) for each covered pixel centre in
// rows [y0, y1), with the barycentric weights of a, b, c.
template <class Shade>
inline void RasterTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const Target& t,
                           int y0, int y1, Shade&& shade)
{
    if (a.z < 0 || b.z < 0 || c.z < 0)
        return;
    // Cheap rejection of triangles that cover no pixel centre in the band
    // (most triangles of a dense surface), a little conservative.
    constexpr float kSlack = 1.0f / 16;
    const float minx = std::min({a.x, b.x, c.x}), maxx = std::max({a.x, b.x, c.x});
    const float miny = std::min({a.y, b.y, c.y}), maxy = std::max({a.y, b.y, c.y});
    if (!(std::floor(maxx - 0.5f + kSlack) >= std::ceil(minx - 0.5f - kSlack)) ||
        !(std::floor(maxy - 0.5f + kSlack) >= std::ceil(miny - 0.5f - kSlack)))
        return;
    if (maxy < y0 - 1 || miny > y1 + 1 || maxx < -1 || minx > t.width + 1)
        return;

    using namespace detail;
    std::int64_t X[3] = {Snap(a.x), Snap(b.x), Snap(c.x)};
    std::int64_t Y[3] = {Snap(a.y), Snap(b.y), Snap(c.y)};
    const ScreenVertex* v[3] = {&a, &b, &c};
    std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
    if (area == 0)
        return;
    if (area < 0) {
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
        std::swap(v[1], v[2]);
        area = -area;
    }
    // Pixel centres (16 i + 8) inside the snapped bounding box, clipped.
    const std::int64_t bx0 = std::min({X[0], X[1], X[2]}), bx1 = std::max({X[0], X[1], X[2]});
    const std::int64_t by0 = std::min({Y[0], Y[1], Y[2]}), by1 = std::max({Y[0], Y[1], Y[2]});
    const int ix0 = int(std::max<std::int64_t>(CeilDiv16(bx0 - 8), 0));
    const int ix1 = int(std::min<std::int64_t>(FloorDiv16(bx1 - 8), t.width - 1));
    const int iy0 = int(std::max<std::int64_t>(CeilDiv16(by0 - 8), y0));
    const int iy1 = int(std::min<std::int64_t>(FloorDiv16(by1 - 8), y1 - 1));
    if (ix0 > ix1 || iy0 > iy1)
        return;

    // Edge k runs from vertex k to k+1; its function is positive inside and
    // weights the vertex opposite to it (k+2).
    std::int64_t A[3], B[3], row[3];
    const std::int64_t px = std::int64_t(ix0) * kSub + kSub / 2, py = std::int64_t(iy0) * kSub + kSub / 2;
    for (int k = 0; k < 3; ++k) {
        const int n = (k + 1) % 3;
        A[k] = Y[k] - Y[n];
        B[k] = X[n] - X[k];
        const bool topLeft = A[k] > 0 || (A[k] == 0 && B[k] < 0);
        row[k] = A[k] * (px - X[k]) + B[k] * (py - Y[k]) - (topLeft ? 0 : 1);
        A[k] *= kSub;
        B[k] *= kSub;
    }
    const float inv = 1.0f / float(area);
    for (int y = iy0; y <= iy1; ++y) {
        std::int64_t e0 = row[0], e1 = row[1], e2 = row[2];
        for (int x = ix0; x <= ix1; ++x) {
            if ((e0 | e1 | e2) >= 0) {
                // e1 (edge b-c) weights a, e2 (edge c-a) weights b, e0 (edge a-b) weights c.
                shade(std::ptrdiff_t(y) * t.stride + x, x, y, *v[0], *v[1], *v[2], float(e1) * inv, float(e2) * inv,
                      float(e0) * inv);
            }
            e0 += A[0], e1 += A[1], e2 += A[2];
        }
        row[0] += B[0], row[1] += B[1], row[2] += B[2];
    }
}

// Opaque Gouraud-shaded triangles with depth test and depth write.
inline void DrawTriangles(const ScreenVertex* verts, const std::uint32_t* indices, std::size_t triangleCount,
                          const Target& t, int y0, int y1)
{
    for (std::size_t i = 0; i < triangleCount; ++i, indices += 3) {
        const ScreenVertex &a = verts[indices[0]], &b = verts[indices[1]], &c = verts[indices[2]];
        RasterTriangle(a, b, c, t, y0, y1,
                       [&t](std::ptrdiff_t at, int, int, const ScreenVertex& va, const ScreenVertex& vb,
                            const ScreenVertex& vc, float wa, float wb, float wc) {
                           const float z = wa * va.z + wb * vb.z + wc * vc.z;
                           if (!(z < t.depth[at]))
                               return;
                           t.depth[at] = z;
                           if (va.color == vb.color && va.color == vc.color) {
                               t.pixels[at] = va.color | 0xFF000000u;
                               return;
                           }
                           const auto ch = [&](int s) {
                               return wa * float((va.color >> s) & 255) + wb * float((vb.color >> s) & 255) +
                                      wc * float((vc.color >> s) & 255);
                           };
                           t.pixels[at] = Pack(ch(16), ch(8), ch(0));
                       });
    }
}

// A translucent triangle: depth tested, blended, depth not written.
inline void DrawBlendedTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, float alpha,
                                const Target& t, int y0, int y1)
{
    const float r = float((a.color >> 16) & 255) * alpha, g = float((a.color >> 8) & 255) * alpha,
                bl = float(a.color & 255) * alpha, keep = 1 - alpha;
    RasterTriangle(a, b, c, t, y0, y1,
                   [&](std::ptrdiff_t at, int, int, const ScreenVertex& va, const ScreenVertex& vb,
                       const ScreenVertex& vc, float wa, float wb, float wc) {
                       const float z = wa * va.z + wb * vb.z + wc * vc.z;
                       if (!(z < t.depth[at]))
                           return;
                       const std::uint32_t d = t.pixels[at];
                       t.pixels[at] = Pack(r + keep * float((d >> 16) & 255), g + keep * float((d >> 8) & 255),
                                           bl + keep * float(d & 255));
                   });
}

// A line of the given width (pixels), depth tested against a small bias so
// lines lying on a surface stay visible, colours interpolated.
inline void DrawLine(const ScreenVertex& a, const ScreenVertex& b, int width, float depthBias, const Target& t, int y0,
                     int y1)
{
    if (a.z < 0 || b.z < 0)
        return;
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float len = std::max(std::fabs(dx), std::fabs(dy));
    if (std::max(a.y, b.y) < y0 - width || std::min(a.y, b.y) > y1 + width)
        return;
    if (len > 4 * detail::kLimit)
        return;
    const int steps = std::max(1, int(std::ceil(len)));
    const int half = (width - 1) / 2;
    for (int s = 0; s <= steps; ++s) {
        const float f = float(s) / steps;
        const int cx = int(std::floor(a.x + dx * f)), cy = int(std::floor(a.y + dy * f));
        const float z = a.z + (b.z - a.z) * f - depthBias;
        const auto ch = [&](int sh) {
            return float((a.color >> sh) & 255) * (1 - f) + float((b.color >> sh) & 255) * f;
        };
        std::uint32_t color = 0;
        bool packed = false;
        for (int y = cy - half; y < cy - half + width; ++y) {
            if (y < y0 || y >= y1 || y < 0 || y >= t.height)
                continue;
            for (int x = cx - half; x < cx - half + width; ++x) {
                if (x < 0 || x >= t.width)
                    continue;
                const std::ptrdiff_t at = std::ptrdiff_t(y) * t.stride + x;
                if (!(z < t.depth[at]))
                    continue;
                if (!packed) {
                    color = Pack(ch(16), ch(8), ch(0));
                    packed = true;
                }
                t.depth[at] = z;
                t.pixels[at] = color;
            }
        }
    }
}

} // namespace plot::raster
