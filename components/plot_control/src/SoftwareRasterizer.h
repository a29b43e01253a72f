#pragma once
// Triangle, line and sprite rasterization into a 32-bit colour buffer with a
// float depth buffer. Triangles use exact edge functions on coordinates
// snapped to 1/16 pixel with the top-left fill rule, so neighbouring
// triangles share their edge pixels without gaps or double coverage. Every
// call draws only rows [y0, y1), so two threads can split one frame.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace plot::raster {

// A vertex after projection: screen position (pixels, y down), depth 0..1 and
// lit colour 0x00RRGGBB. depth < 0 marks a vertex that cannot be drawn (behind
// the eye, outside the depth range or not finite).
struct ScreenVertex {
    float x, y, z;
    std::uint32_t color;
};

// Colour and depth rows of a frame `width` x `height`. The buffers may hold
// only a band of it: their first row is row originY of the frame.
struct Target {
    std::uint32_t* pixels = nullptr;
    float* depth = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // pixels per row, in both buffers
    int originY = 0;
    // Where row y of the frame starts in the buffers.
    std::ptrdiff_t Row(int y) const { return std::ptrdiff_t(y - originY) * stride; }
};

// Rounds and clamps each channel to 0..255 (no branches).
inline std::uint32_t Pack(float r, float g, float b)
{
    const auto c = [](float v) { return std::uint32_t(int(std::min(std::max(v, 0.0f), 255.0f) + 0.5f)); };
    return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

namespace detail {
constexpr int kSub = 16;          // subpixel steps per pixel
constexpr float kLimit = 1.0e6f;  // screen coordinates are clamped here to keep the fixed-point products in range

inline std::int64_t Snap(float v)
{
    v = v < -kLimit ? -kLimit : (v > kLimit ? kLimit : v);
    return std::int64_t(int(v * kSub + (v >= 0 ? 0.5f : -0.5f)));
}
inline std::int64_t FloorDiv16(std::int64_t a) { return a >> 4; }
inline std::int64_t CeilDiv16(std::int64_t a) { return -((-a) >> 4); }
} // namespace detail

namespace detail {
// A triangle's three edge functions over pixel centres, from vertex
// coordinates relative to the centre of the first pixel. Edge k runs from
// vertex k to k+1 (after ordering the vertices counter-clockwise); its
// function is positive inside and weights the vertex opposite to it. Pixels on
// an edge belong to the triangle only for top and left edges. A, B step one
// pixel right and one row down; row holds the values at the first pixel.
template <class T, class V>
struct Edges {
    T A[3], B[3], row[3];
    T bias[3]; // 1 where the top-left rule lowered the edge's values; added back for weights
    float inv; // 1 / twice the area, in subpixel units
    const V* v[3];

    // False for a triangle without area.
    [[gnu::always_inline]] bool Setup(const T* Xin, const T* Yin, const V& a, const V& b, const V& c)
    {
        T X[3] = {Xin[0], Xin[1], Xin[2]}, Y[3] = {Yin[0], Yin[1], Yin[2]};
        v[0] = &a, v[1] = &b, v[2] = &c;
        T area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
        if (area == 0)
            return false;
        if (area < 0) {
            std::swap(X[1], X[2]);
            std::swap(Y[1], Y[2]);
            std::swap(v[1], v[2]);
            area = -area;
        }
        for (int k = 0; k < 3; ++k) {
            const int n = k == 2 ? 0 : k + 1;
            A[k] = Y[k] - Y[n];
            B[k] = X[n] - X[k];
            const bool topLeft = A[k] > 0 || (A[k] == 0 && B[k] < 0);
            bias[k] = topLeft ? 0 : 1;
            row[k] = -A[k] * X[k] - B[k] * Y[k] - bias[k];
            A[k] *= kSub;
            B[k] *= kSub;
        }
        inv = 1.0f / float(area);
        return true;
    }
};

// Walks the pixel centres of rows iy0..iy1, columns ix0..ix1; X and Y are the
// snapped vertex coordinates relative to the centre of pixel (ix0, iy0).
template <class T, class Shade>
[[gnu::always_inline]] inline void EdgeWalk(const T* Xin, const T* Yin, const ScreenVertex& a, const ScreenVertex& b,
                                            const ScreenVertex& c, int ix0, int ix1, int iy0, int iy1, const Target& t,
                                            Shade& shade)
{
    Edges<T, ScreenVertex> edges;
    if (!edges.Setup(Xin, Yin, a, b, c))
        return;
    T* const row = edges.row;
    const T* const A = edges.A;
    const T* const B = edges.B;
    const float inv = edges.inv;
    const ScreenVertex* const* v = edges.v;
    for (int y = iy0; y <= iy1; ++y) {
        T e0 = row[0], e1 = row[1], e2 = row[2];
        for (int x = ix0; x <= ix1; ++x) {
            if ((e0 | e1 | e2) >= 0) {
                // e1 (edge b-c) weights a, e2 (edge c-a) weights b, e0 (edge a-b) weights c.
                shade(t.Row(y) + x, x, y, *v[0], *v[1], *v[2], float(e1) * inv, float(e2) * inv,
                      float(e0) * inv);
            }
            e0 += A[0], e1 += A[1], e2 += A[2];
        }
        row[0] += B[0], row[1] += B[1], row[2] += B[2];
    }
}
} // namespace detail

// Calls shade(pixelIndex, x, y, wa, wb, wc) for each covered pixel centre in
// rows [y0, y1), with the barycentric weights of a, b, c.
template <class Shade>
[[gnu::always_inline]] inline void RasterTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, const Target& t,
                           int y0, int y1, Shade&& shade)
{
    if (a.z < 0 || b.z < 0 || c.z < 0)
        return;
    using namespace detail;
    // Cheap, branch-free rejection of triangles that contain no pixel centre
    // in the band: most triangles of a dense surface end here. Slightly
    // conservative (1/16 pixel); the exact test follows.
    {
        const float minx = std::min(a.x, std::min(b.x, c.x)), maxx = std::max(a.x, std::max(b.x, c.x));
        const float miny = std::min(a.y, std::min(b.y, c.y)), maxy = std::max(a.y, std::max(b.y, c.y));
        const auto floorOf = [](float f) { return int(f + 65536.0f) - 65536; }; // f > -65536
        const int fx0 = -floorOf(0.5625f - minx), fx1 = floorOf(maxx - 0.4375f); // ceil / floor of the centre range
        const int fy0 = -floorOf(0.5625f - miny), fy1 = floorOf(maxy - 0.4375f);
        if (!(minx > -60000.0f && maxx < 60000.0f && miny > -60000.0f && maxy < 60000.0f)) {
            if (!(maxx >= 0 && minx <= float(t.width) && maxy >= float(y0) && miny <= float(y1)))
                return; // far off screen (or not finite): nothing in the band
        } else if ((fx0 > fx1) | (fy0 > fy1) | (fy1 < y0) | (fy0 >= y1) | (fx1 < 0) | (fx0 >= t.width)) {
            return;
        }
    }
    std::int64_t X[3] = {Snap(a.x), Snap(b.x), Snap(c.x)};
    std::int64_t Y[3] = {Snap(a.y), Snap(b.y), Snap(c.y)};
    const std::int64_t bx0 = std::min(X[0], std::min(X[1], X[2])), bx1 = std::max(X[0], std::max(X[1], X[2]));
    const std::int64_t by0 = std::min(Y[0], std::min(Y[1], Y[2])), by1 = std::max(Y[0], std::max(Y[1], Y[2]));
    const int ix0 = int(std::max<std::int64_t>(CeilDiv16(bx0 - 8), 0));
    const int ix1 = int(std::min<std::int64_t>(FloorDiv16(bx1 - 8), t.width - 1));
    const int iy0 = int(std::max<std::int64_t>(CeilDiv16(by0 - 8), y0));
    const int iy1 = int(std::min<std::int64_t>(FloorDiv16(by1 - 8), y1 - 1));
    if (ix0 > ix1 || iy0 > iy1)
        return;
    // Small triangles (the common case) use 32-bit edge functions relative to
    // the first pixel centre; the products then stay far below 2^31.
    const std::int64_t px = std::int64_t(ix0) * kSub + kSub / 2, py = std::int64_t(iy0) * kSub + kSub / 2;
    if (bx1 - bx0 < 8192 && by1 - by0 < 8192 && (bx1 - px) < 8192 && (px - bx0) < 8192 && (by1 - py) < 8192 &&
        (py - by0) < 8192) {
        const std::int32_t x32[3] = {std::int32_t(X[0] - px), std::int32_t(X[1] - px), std::int32_t(X[2] - px)};
        const std::int32_t y32[3] = {std::int32_t(Y[0] - py), std::int32_t(Y[1] - py), std::int32_t(Y[2] - py)};
        EdgeWalk<std::int32_t>(x32, y32, a, b, c, ix0, ix1, iy0, iy1, t, shade);
    } else {
        const std::int64_t x64[3] = {X[0] - px, X[1] - px, X[2] - px};
        const std::int64_t y64[3] = {Y[0] - py, Y[1] - py, Y[2] - py};
        EdgeWalk<std::int64_t>(x64, y64, a, b, c, ix0, ix1, iy0, iy1, t, shade);
    }
}

// A vertex ready for triangle setup: position snapped to 1/16 pixel (clamped
// to +-kLimit pixels), depth 0..1 and lit colour 0x00RRGGBB. depth < 0 marks
// a vertex that cannot be drawn.
struct FixedVertex {
    std::int32_t x, y;
    float z;
    std::uint32_t color;
};

inline FixedVertex ToFixed(const ScreenVertex& v)
{
    return {std::int32_t(detail::Snap(v.x)), std::int32_t(detail::Snap(v.y)), v.z, v.color};
}

namespace detail {

// Fills the pixel centres of rows iy0..iy1, columns ix0..ix1 covered by the
// triangle, with depth test and Gouraud colours. T is the edge-function type:
// 32 bits while the bounding box stays under 512 pixels, else 64.
template <class T>
inline void FillTriangle(const FixedVertex& a, const FixedVertex& b, const FixedVertex& c, int ix0, int ix1, int iy0,
                         int iy1, const Target& t, const std::uint8_t* rowOwner, std::uint8_t part)
{
    const T px = T(ix0) * kSub + kSub / 2, py = T(iy0) * kSub + kSub / 2;
    const T X[3] = {T(a.x) - px, T(b.x) - px, T(c.x) - px};
    const T Y[3] = {T(a.y) - py, T(b.y) - py, T(c.y) - py};
    Edges<T, FixedVertex> edges;
    if (!edges.Setup(X, Y, a, b, c))
        return;
    T* const row = edges.row;
    const T* const A = edges.A;
    const T* const B = edges.B;
    const float inv = edges.inv;
    const FixedVertex &va = *edges.v[0], &vb = *edges.v[1], &vc = *edges.v[2];
    // e1 (edge b-c) weights a, e2 (edge c-a) weights b, e0 (edge a-b) weights c.
    const float fa[4] = {va.z, float((va.color >> 16) & 255), float((va.color >> 8) & 255), float(va.color & 255)};
    const float fb[4] = {vb.z, float((vb.color >> 16) & 255), float((vb.color >> 8) & 255), float(vb.color & 255)};
    const float fc[4] = {vc.z, float((vc.color >> 16) & 255), float((vc.color >> 8) & 255), float(vc.color & 255)};
    // Depth and colours are planes over the screen: evaluated exactly at the
    // start of each run from the integer edge values, then stepped along it.
    const bool flat = va.color == vb.color && va.color == vc.color;
    const std::uint32_t flatColor = va.color | 0xFF000000u;
    float dx[4];
    for (int k = 0; k < 4; ++k)
        dx[k] = (float(A[1]) * fa[k] + float(A[2]) * fb[k] + float(A[0]) * fc[k]) * inv;
    for (int y = iy0; y <= iy1; ++y) {
        T e0 = row[0], e1 = row[1], e2 = row[2];
        row[0] += B[0], row[1] += B[1], row[2] += B[2];
        if (rowOwner[y] != part)
            continue;
        // Skip to the first covered pixel of the row.
        int x = ix0;
        while (x <= ix1 && (e0 | e1 | e2) < 0) {
            e0 += A[0], e1 += A[1], e2 += A[2];
            ++x;
        }
        if (x > ix1)
            continue;
        const float wa = float(e1 + edges.bias[1]) * inv, wb = float(e2 + edges.bias[2]) * inv,
                    wc = float(e0 + edges.bias[0]) * inv;
        float z = wa * fa[0] + wb * fb[0] + wc * fc[0];
        float* depth = t.depth + t.Row(y);
        std::uint32_t* pixels = t.pixels + t.Row(y);
        if (flat) {
            for (; x <= ix1 && (e0 | e1 | e2) >= 0; ++x) {
                if (z < depth[x]) {
                    depth[x] = z;
                    pixels[x] = flatColor;
                }
                e0 += A[0], e1 += A[1], e2 += A[2];
                z += dx[0];
            }
            continue;
        }
        float r = wa * fa[1] + wb * fb[1] + wc * fc[1];
        float g = wa * fa[2] + wb * fb[2] + wc * fc[2];
        float bl = wa * fa[3] + wb * fb[3] + wc * fc[3];
        // A row of a triangle is one run: stop at its first uncovered pixel.
        for (; x <= ix1 && (e0 | e1 | e2) >= 0; ++x) {
            if (z < depth[x]) {
                depth[x] = z;
                pixels[x] = Pack(r, g, bl);
            }
            e0 += A[0], e1 += A[1], e2 += A[2];
            z += dx[0], r += dx[1], g += dx[2], bl += dx[3];
        }
    }
}

} // namespace detail

namespace detail {

// The candidate pixel centres of a triangle (its bounding box clipped to the
// target); false when there are none, which ends most triangles of a dense
// surface before any setup.
struct Box {
    int ix0, ix1, iy0, iy1;
};
inline bool CandidatePixels(const FixedVertex& a, const FixedVertex& b, const FixedVertex& c, const Target& t, Box* box)
{
    const std::int32_t minx = std::min(a.x, std::min(b.x, c.x)), maxx = std::max(a.x, std::max(b.x, c.x));
    const std::int32_t miny = std::min(a.y, std::min(b.y, c.y)), maxy = std::max(a.y, std::max(b.y, c.y));
    // Pixel centres lie at 16 i + 8.
    box->ix0 = std::max((minx + 7) >> 4, 0);
    box->ix1 = std::min((maxx - 8) >> 4, t.width - 1);
    box->iy0 = std::max((miny + 7) >> 4, 0);
    box->iy1 = std::min((maxy - 8) >> 4, t.height - 1);
    return (box->ix0 <= box->ix1) & (box->iy0 <= box->iy1) && a.z >= 0 && b.z >= 0 && c.z >= 0;
}

// Whether the triangle's edge values fit 32 bits: its extent (not its box,
// which may be clipped) is under 512 pixels each way.
inline bool Fits32(const FixedVertex& a, const FixedVertex& b, const FixedVertex& c)
{
    const std::int32_t w = std::max(a.x, std::max(b.x, c.x)) - std::min(a.x, std::min(b.x, c.x));
    const std::int32_t h = std::max(a.y, std::max(b.y, c.y)) - std::min(a.y, std::min(b.y, c.y));
    return w < 8192 && h < 8192;
}

inline void Fill(const FixedVertex& a, const FixedVertex& b, const FixedVertex& c, const Box& box, const Target& t,
                 const std::uint8_t* rowOwner, std::uint8_t part)
{
    if (Fits32(a, b, c))
        FillTriangle<std::int32_t>(a, b, c, box.ix0, box.ix1, box.iy0, box.iy1, t, rowOwner, part);
    else
        FillTriangle<std::int64_t>(a, b, c, box.ix0, box.ix1, box.iy0, box.iy1, t, rowOwner, part);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PLOT_RASTER_LANES 1
// Rows of triangles in steps of eight pixels (AVX2). Nearly every triangle of
// a dense surface is at most eight pixels wide: each of its rows is then one
// step, without the loops of varying length whose mispredicted ends cost more
// than the pixels. Coverage is the same exact edge test; depth and colours are
// evaluated at each pixel centre as planes over the edge values (within a
// rounding of the stepped values of FillTriangle).
using LaneInt = std::int32_t __attribute__((vector_size(32)));
using LaneFloat = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;

// Rounds a channel. No clamping: at a covered pixel centre the weights are
// at least zero and sum to one (the edge values with their bias added back
// sum to twice the area), so the value lies between the vertices' channels
// within a float rounding; lanes outside the triangle are not stored.
[[gnu::always_inline, gnu::target("avx2")]] inline LaneInt PackChannel(LaneFloat v)
{
    return __builtin_convertvector(v + 0.5f, LaneInt);
}

// A quantity's plane over a triangle: its value at vertex a, plus the
// weights of b and c (edge values over twice the area) times its
// differences from a.
struct Plane {
    float at, perB, perC;
};
struct LanePlanes {
    Plane z, r, g, b;
};

// Depth test and write of eight pixels from depthAt / pixelAt: lanes not
// covered get back what they held (the row belongs to this thread).
[[gnu::always_inline, gnu::target("avx2")]] inline void BlendLanes(float* depthAt, std::uint32_t* pixelAt,
                                                                   LaneInt covered, LaneInt e0, LaneInt e2,
                                                                   const LanePlanes& p)
{
    // e2 (edge c-a) weights b, e0 (edge a-b) weights c.
    const LaneFloat wb = __builtin_convertvector(e2, LaneFloat), wc = __builtin_convertvector(e0, LaneFloat);
    const LaneFloat depthHere = p.z.at + wb * p.z.perB + wc * p.z.perC;
    LaneFloat depth;
    LaneInt pixels;
    std::memcpy(&depth, depthAt, sizeof depth);
    std::memcpy(&pixels, pixelAt, sizeof pixels);
    const LaneInt nearer = covered & (depthHere < depth);
    const LaneInt rgb = (LaneInt{} + int(0xFF000000u)) | PackChannel(p.r.at + wb * p.r.perB + wc * p.r.perC) << 16 |
                        PackChannel(p.g.at + wb * p.g.perB + wc * p.g.perC) << 8 |
                        PackChannel(p.b.at + wb * p.b.perB + wc * p.b.perC);
    depth = nearer ? depthHere : depth;
    pixels = nearer ? rgb : pixels;
    std::memcpy(depthAt, &depth, sizeof depth);
    std::memcpy(pixelAt, &pixels, sizeof pixels);
}

// Fills a triangle small enough for 32-bit edge values in steps of eight
// pixels of a row; the target is at least kLanes wide. A row of a box at most
// kLanes wide is one step. Wider rows are walked in steps from the box's left
// edge to the end of the covered run (the last step moved back inside the row).
[[gnu::always_inline, gnu::target("avx2")]] inline void FillLanes(const FixedVertex& a, const FixedVertex& b,
                                                                  const FixedVertex& c, const Box& box,
                                                                  const Target& t, const std::uint8_t* rowOwner,
                                                                  std::uint8_t part)
{
    using T = std::int32_t;
    const T px = T(box.ix0) * kSub + kSub / 2, py = T(box.iy0) * kSub + kSub / 2;
    const T X[3] = {T(a.x) - px, T(b.x) - px, T(c.x) - px};
    const T Y[3] = {T(a.y) - py, T(b.y) - py, T(c.y) - py};
    Edges<T, FixedVertex> edges;
    if (!edges.Setup(X, Y, a, b, c))
        return;
    const FixedVertex &va = *edges.v[0], &vb = *edges.v[1], &vc = *edges.v[2];
    const LaneInt lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const LaneInt step0 = lane * edges.A[0], step1 = lane * edges.A[1], step2 = lane * edges.A[2];
    // The weights use the edge values before the top-left rule's bias.
    const float inv = edges.inv;
    const float biasB = float(edges.bias[2]), biasC = float(edges.bias[0]);
    const auto plane = [&](float fa, float fb, float fc) {
        const float perB = (fb - fa) * inv, perC = (fc - fa) * inv;
        return Plane{fa + biasB * perB + biasC * perC, perB, perC};
    };
    const auto channel = [](const FixedVertex& v, int shift) { return float((v.color >> shift) & 255); };
    const LanePlanes planes{plane(va.z, vb.z, vc.z), plane(channel(va, 16), channel(vb, 16), channel(vc, 16)),
                            plane(channel(va, 8), channel(vb, 8), channel(vc, 8)),
                            plane(channel(va, 0), channel(vb, 0), channel(vc, 0))};
    T row0 = edges.row[0], row1 = edges.row[1], row2 = edges.row[2];
    if (box.ix1 - box.ix0 < kLanes && box.ix0 + kLanes <= t.width) {
        const LaneInt inBox = lane <= (box.ix1 - box.ix0);
        for (int y = box.iy0; y <= box.iy1; ++y, row0 += edges.B[0], row1 += edges.B[1], row2 += edges.B[2]) {
            if (rowOwner[y] != part)
                continue;
            const LaneInt e0 = row0 + step0, e1 = row1 + step1, e2 = row2 + step2;
            const LaneInt covered = ((e0 | e1 | e2) >= 0) & inBox;
            BlendLanes(t.depth + t.Row(y) + box.ix0, t.pixels + t.Row(y) + box.ix0, covered, e0, e2, planes);
        }
        return;
    }
    for (int y = box.iy0; y <= box.iy1; ++y, row0 += edges.B[0], row1 += edges.B[1], row2 += edges.B[2]) {
        if (rowOwner[y] != part)
            continue;
        bool drawn = false;
        for (int x = box.ix0; x <= box.ix1; x += kLanes) {
            // Lanes before x were the previous step's.
            const int cx = std::min(x, t.width - kLanes);
            const T dx = T(cx - box.ix0);
            const LaneInt e0 = row0 + edges.A[0] * dx + step0, e1 = row1 + edges.A[1] * dx + step1,
                          e2 = row2 + edges.A[2] * dx + step2;
            const LaneInt at = lane + cx;
            const LaneInt covered = ((e0 | e1 | e2) >= 0) & (at >= x) & (at <= box.ix1);
            if (_mm256_testz_si256(__m256i(covered), __m256i(covered))) {
                if (drawn)
                    break; // a row of a triangle is one run
                continue;
            }
            drawn = true;
            BlendLanes(t.depth + t.Row(y) + cx, t.pixels + t.Row(y) + cx, covered, e0, e2, planes);
        }
    }
}
#endif

} // namespace detail

namespace detail {

// Draws triangles triangle(0) .. triangle(count - 1), each given as its first index.
template <class Indexed>
inline void DrawIndexed(const FixedVertex* verts, const Indexed& triangle, std::size_t count, const Target& t,
                        const std::uint8_t* rowOwner, std::uint8_t part)
{
    Box box;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t* k = triangle(i);
        const FixedVertex &a = verts[k[0]], &b = verts[k[1]], &c = verts[k[2]];
        if (CandidatePixels(a, b, c, t, &box))
            Fill(a, b, c, box, t, rowOwner, part);
    }
}

#ifdef PLOT_RASTER_LANES
template <class Indexed>
[[gnu::target("avx2")]] void DrawIndexedLanes(const FixedVertex* verts, const Indexed& triangle, std::size_t count,
                                              const Target& t, const std::uint8_t* rowOwner, std::uint8_t part)
{
    Box box;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t* k = triangle(i);
        const FixedVertex &a = verts[k[0]], &b = verts[k[1]], &c = verts[k[2]];
        if (!CandidatePixels(a, b, c, t, &box))
            continue;
        if (Fits32(a, b, c) && t.width >= kLanes)
            FillLanes(a, b, c, box, t, rowOwner, part);
        else
            Fill(a, b, c, box, t, rowOwner, part);
    }
}
#endif

template <class Indexed>
inline void Draw(const FixedVertex* verts, const Indexed& triangle, std::size_t count, const Target& t,
                 const std::uint8_t* rowOwner, std::uint8_t part, bool lanes)
{
#ifdef PLOT_RASTER_LANES
    if (lanes && __builtin_cpu_supports("avx2")) {
        DrawIndexedLanes(verts, triangle, count, t, rowOwner, part);
        return;
    }
#endif
    (void)lanes;
    DrawIndexed(verts, triangle, count, t, rowOwner, part);
}

} // namespace detail

// How opaque triangles are filled: eight pixels of a row at once where the
// processor can (x86-64 with AVX2), else pixel by pixel. The two agree on
// coverage; depth and colour may differ by a rounding.
enum class FillMode { Best, PixelByPixel };

// Whether FillMode::Best fills rows in lanes on this processor.
inline bool FillsInLanes()
{
#ifdef PLOT_RASTER_LANES
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

// Opaque Gouraud-shaded triangles with depth test and depth write, only in
// the rows y with rowOwner[y] == part, so that threads can share a frame.
inline void DrawTriangles(const FixedVertex* verts, const std::uint32_t* indices, std::size_t triangleCount,
                          const Target& t, const std::uint8_t* rowOwner, std::uint8_t part,
                          FillMode mode = FillMode::Best)
{
    detail::Draw(
        verts, [indices](std::size_t i) { return indices + 3 * i; }, triangleCount, t, rowOwner, part,
        mode == FillMode::Best);
}

// For several threads: sorts triangles [begin, end) by the parts that own
// their rows (bins[p] gets the triangles that touch rows of part p, in
// order), dropping those that cover no pixel centre; DrawBinned then draws
// one part's triangles. Parts own bands of consecutive rows, numbered from
// the top (at most 256 of them).
inline void BinTriangles(const FixedVertex* verts, const std::uint32_t* indices, std::size_t begin, std::size_t end,
                         const Target& t, const std::uint8_t* rowOwner, int parts, std::vector<std::uint32_t>* bins)
{
    detail::Box box;
    for (std::size_t i = begin; i < end; ++i) {
        const std::uint32_t* k = indices + 3 * i;
        const FixedVertex &a = verts[k[0]], &b = verts[k[1]], &c = verts[k[2]];
        if (!detail::CandidatePixels(a, b, c, t, &box))
            continue;
        const int last = std::min<int>(rowOwner[box.iy1], parts - 1);
        for (int p = rowOwner[box.iy0]; p <= last; ++p)
            bins[p].push_back(std::uint32_t(i));
    }
}

inline void DrawBinned(const FixedVertex* verts, const std::uint32_t* indices, const std::vector<std::uint32_t>& bin,
                       const Target& t, const std::uint8_t* rowOwner, std::uint8_t part,
                       FillMode mode = FillMode::Best)
{
    const std::uint32_t* order = bin.data();
    detail::Draw(
        verts, [indices, order](std::size_t i) { return indices + 3 * std::size_t(order[i]); }, bin.size(), t,
        rowOwner, part, mode == FillMode::Best);
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
                const std::ptrdiff_t at = t.Row(y) + x;
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
