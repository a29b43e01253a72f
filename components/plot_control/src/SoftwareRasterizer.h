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

// Rows of boxes 9 to 16 pixels wide as one step of sixteen lanes (AVX-512):
// the triangles of a dense surface in an antialiased frame are mostly that
// wide, and two steps of eight a row cost a mispredicted loop end each.
// The same edge test and planes as FillLanes, so the same pixels.
using WideInt = std::int32_t __attribute__((vector_size(64)));
using WideFloat = float __attribute__((vector_size(64)));
constexpr int kWideLanes = 16;

[[gnu::always_inline, gnu::target("avx2,avx512f,avx512vl")]] inline WideInt PackWide(WideFloat v)
{
    return __builtin_convertvector(v + 0.5f, WideInt);
}

[[gnu::always_inline, gnu::target("avx2,avx512f,avx512vl")]] inline void FillWide(const FixedVertex& a,
                                                                                 const FixedVertex& b,
                                                                                 const FixedVertex& c, const Box& box,
                                                                                 const Target& t,
                                                                                 const std::uint8_t* rowOwner,
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
    const WideInt lane = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const WideInt step0 = lane * edges.A[0], step1 = lane * edges.A[1], step2 = lane * edges.A[2];
    const float inv = edges.inv;
    const float biasB = float(edges.bias[2]), biasC = float(edges.bias[0]);
    const auto plane = [&](float fa, float fb, float fc) {
        const float perB = (fb - fa) * inv, perC = (fc - fa) * inv;
        return Plane{fa + biasB * perB + biasC * perC, perB, perC};
    };
    const auto channel = [](const FixedVertex& v, int shift) { return float((v.color >> shift) & 255); };
    const LanePlanes p{plane(va.z, vb.z, vc.z), plane(channel(va, 16), channel(vb, 16), channel(vc, 16)),
                       plane(channel(va, 8), channel(vb, 8), channel(vc, 8)),
                       plane(channel(va, 0), channel(vb, 0), channel(vc, 0))};
    T row0 = edges.row[0], row1 = edges.row[1], row2 = edges.row[2];
    const WideInt inBox = lane <= (box.ix1 - box.ix0);
    for (int y = box.iy0; y <= box.iy1; ++y, row0 += edges.B[0], row1 += edges.B[1], row2 += edges.B[2]) {
        if (rowOwner[y] != part)
            continue;
        const WideInt e0 = row0 + step0, e1 = row1 + step1, e2 = row2 + step2;
        const WideInt covered = ((e0 | e1 | e2) >= 0) & inBox;
        float* const depthAt = t.depth + t.Row(y) + box.ix0;
        std::uint32_t* const pixelAt = t.pixels + t.Row(y) + box.ix0;
        // e2 (edge c-a) weights b, e0 (edge a-b) weights c.
        const WideFloat wb = __builtin_convertvector(e2, WideFloat), wc = __builtin_convertvector(e0, WideFloat);
        const WideFloat depthHere = p.z.at + wb * p.z.perB + wc * p.z.perC;
        WideFloat depth;
        WideInt pixels;
        std::memcpy(&depth, depthAt, sizeof depth);
        std::memcpy(&pixels, pixelAt, sizeof pixels);
        const WideInt nearer = covered & (depthHere < depth);
        const WideInt rgb = (WideInt{} + int(0xFF000000u)) | PackWide(p.r.at + wb * p.r.perB + wc * p.r.perC) << 16 |
                            PackWide(p.g.at + wb * p.g.perB + wc * p.g.perC) << 8 |
                            PackWide(p.b.at + wb * p.b.perB + wc * p.b.perC);
        depth = nearer ? depthHere : depth;
        pixels = nearer ? rgb : pixels;
        std::memcpy(depthAt, &depth, sizeof depth);
        std::memcpy(pixelAt, &pixels, sizeof pixels);
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

// DrawIndexedLanes with boxes 9 to 16 pixels wide in one step a row.
template <class Indexed>
[[gnu::target("avx2,avx512f,avx512vl")]] void DrawIndexedWide(const FixedVertex* verts, const Indexed& triangle,
                                                              std::size_t count, const Target& t,
                                                              const std::uint8_t* rowOwner, std::uint8_t part)
{
    Box box;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t* k = triangle(i);
        const FixedVertex &a = verts[k[0]], &b = verts[k[1]], &c = verts[k[2]];
        if (!CandidatePixels(a, b, c, t, &box))
            continue;
        if (!Fits32(a, b, c) || t.width < kWideLanes)
            Fill(a, b, c, box, t, rowOwner, part);
        else if (box.ix1 - box.ix0 >= kLanes && box.ix1 - box.ix0 < kWideLanes && box.ix0 + kWideLanes <= t.width)
            FillWide(a, b, c, box, t, rowOwner, part);
        else
            FillLanes(a, b, c, box, t, rowOwner, part);
    }
}
#endif

template <class Indexed>
inline void Draw(const FixedVertex* verts, const Indexed& triangle, std::size_t count, const Target& t,
                 const std::uint8_t* rowOwner, std::uint8_t part, bool lanes, bool wide)
{
#ifdef PLOT_RASTER_LANES
    static const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    if (lanes && wide && avx512) {
        DrawIndexedWide(verts, triangle, count, t, rowOwner, part);
        return;
    }
    if (lanes && __builtin_cpu_supports("avx2")) {
        DrawIndexedLanes(verts, triangle, count, t, rowOwner, part);
        return;
    }
#endif
    (void)wide;
    (void)lanes;
    DrawIndexed(verts, triangle, count, t, rowOwner, part);
}

} // namespace detail

// How opaque triangles are filled: eight pixels of a row at once where the
// processor can (x86-64 with AVX2), rows of 9 to 16 pixels in one step where
// it has AVX-512 (Best; Lanes keeps to eight), else pixel by pixel. All agree
// on coverage; depth and colour may differ by a rounding. Discs of
// pixel-sized points use AVX-512 masks where there are any (Best) or not
// (Lanes, for tests); they give the same picture every way.
enum class FillMode { Best, PixelByPixel, Lanes };

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
        mode != FillMode::PixelByPixel, mode == FillMode::Best);
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
        rowOwner, part, mode != FillMode::PixelByPixel, mode == FillMode::Best);
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

// Pixel-sized points: discs of a whole number of pixels, stamped from a mask.
//
// A disc of diameter D covers the pixels whose centres lie within D / 2 of
// its centre, which sits on a pixel centre (odd D) or a pixel corner (even D)
// next to the projected point: the point moves by at most half a pixel, and
// every disc of one size has the same shape. The mask holds the disc as
// steps of eight pixels of a row (one step a row up to D = 8), each pixel
// with one of eight shading levels.
//
// A level's colour is, per channel c of the disc's colour,
// min(255, (c * factor + offset) >> 7): the light's intensity in 128ths
// and its white highlight (offset = 128 * 255 * specular, rounded, plus 64).
// In lanes the eight levels' colours are made at once as 16-bit words, which
// come out in the order 0 1 4 5 2 3 6 7: a step's lanes name that position.
struct DiscMask {
    static constexpr int kLevels = 8;
    struct Step {
        std::int32_t dy = 0, dx = 0; // from the disc's top-left pixel
        std::int32_t lane[8] = {};   // -1 where the pixel belongs to the disc
        std::int32_t level[8] = {};  // its shading level
        std::int32_t slot[8] = {};   // where that level's colour lies among the lanes' eight
    };
    int diameter = 0;
    int half = 0;         // the top-left pixel lies `half` left of and above the anchor pixel
    float shift = 0;      // anchor = floor(centre + shift)
    std::size_t pixels = 0;
    std::vector<Step> steps; // dx from the disc's left column
    // The same in steps that start at columns divisible by the alignment A,
    // for a disc whose left column is A k + a: dx from column A k. With A = 8
    // the steps of one row of the target either coincide or do not overlap,
    // so a step mostly reads what an earlier one wrote in one piece (a
    // partial overlap with a recent write stalls the processor). Discs of at
    // most 5 pixels take A = 4 instead: one step a row whatever a, a fixed
    // count that the stamping unrolls, which measured faster still.
    std::vector<Step> aligned[8];
    int alignedWidth[8] = {}; // columns from A k that the steps of aligned[a] span
    int alignment = 8;        // A
    std::uint16_t factor[kLevels] = {128, 128, 128, 128, 128, 128, 128, 128};
    std::uint16_t offset[kLevels] = {64, 64, 64, 64, 64, 64, 64, 64};
    // The same as words for the lanes: levels 0-3, then 4-7, each for the
    // channels blue, green, red, alpha (alpha comes out as 255).
    std::uint16_t laneFactor[2][16] = {};
    std::uint16_t laneOffset[2][16] = {};
};

// shade(nx, ny, nz, &intensity, &specular) lights the disc's pixel whose
// centre lies at (nx, ny) of the disc's radius from its centre (x right, y
// up; nz = sqrt(1 - nx^2 - ny^2)). Pixels are put in eight levels of like
// brightness; each level takes their mean light.
template <class Shade>
DiscMask MakeDiscMask(int diameter, Shade&& shade)
{
    DiscMask m;
    m.diameter = std::max(diameter, 1);
    const int d = m.diameter;
    m.half = d / 2;
    m.shift = d % 2 ? 0.0f : 0.5f;
    const float r = 0.5f * float(d);
    // Pixel (i, j) of the box has its centre at i + 0.5 - r, j + 0.5 - r from the disc's centre.
    struct Pixel {
        int i, j;
        float intensity, specular;
    };
    std::vector<Pixel> inside;
    for (int j = 0; j < d; ++j)
        for (int i = 0; i < d; ++i) {
            const float x = (float(i) + 0.5f - r) / r, y = (r - float(j) - 0.5f) / r;
            const float d2 = x * x + y * y;
            if (d2 > 1.0f + 1e-6f)
                continue;
            const float nz = d2 < 1 ? std::sqrt(1 - d2) : 0.0f;
            Pixel p{i, j, 1, 0};
            shade(x, y, nz, &p.intensity, &p.specular);
            inside.push_back(p);
        }
    m.pixels = inside.size();
    float lo = 1e30f, hi = -1e30f;
    for (const Pixel& p : inside) {
        lo = std::min(lo, p.intensity + p.specular);
        hi = std::max(hi, p.intensity + p.specular);
    }
    const auto levelOf = [&](const Pixel& p) {
        if (!(hi - lo > 1e-6f))
            return 0;
        return std::min(DiscMask::kLevels - 1, int((p.intensity + p.specular - lo) / (hi - lo) * DiscMask::kLevels));
    };
    float sumI[DiscMask::kLevels] = {}, sumS[DiscMask::kLevels] = {};
    int count[DiscMask::kLevels] = {};
    for (const Pixel& p : inside) {
        const int k = levelOf(p);
        sumI[k] += p.intensity;
        sumS[k] += p.specular;
        ++count[k];
    }
    for (int k = 0; k < DiscMask::kLevels; ++k)
        if (count[k]) {
            const float i = sumI[k] / float(count[k]), sp = sumS[k] / float(count[k]);
            // Intensity at most 1.5, highlight at most about half white: the
            // words' sums stay below 2^16.
            m.factor[k] = std::uint16_t(std::clamp(int(i * 128.0f + 0.5f), 0, 192));
            m.offset[k] = std::uint16_t(std::clamp(int(sp * 255.0f * 128.0f + 0.5f), 0, 16000) + 64);
        }
    for (int half = 0; half < 2; ++half)
        for (int w = 0; w < 16; ++w) {
            const int k = half * 4 + w / 4, channel = w % 4;
            m.laneFactor[half][w] = channel == 3 ? 0 : m.factor[k];
            m.laneOffset[half][w] = channel == 3 ? std::uint16_t(255 * 128) : m.offset[k];
        }
    static constexpr std::int32_t kSlot[DiscMask::kLevels] = {0, 1, 4, 5, 2, 3, 6, 7};
    // Steps of eight columns from column -a of the disc's box.
    const auto stepsFrom = [&](int a, std::vector<DiscMask::Step>& steps) {
        for (int j = 0; j < d; ++j)
            for (int x0 = -a; x0 < d; x0 += 8) {
                DiscMask::Step step;
                step.dy = j;
                step.dx = x0 + a;
                bool any = false;
                for (const Pixel& p : inside)
                    if (p.j == j && p.i >= x0 && p.i < x0 + 8) {
                        step.lane[p.i - x0] = -1;
                        step.level[p.i - x0] = levelOf(p);
                        step.slot[p.i - x0] = kSlot[levelOf(p)];
                        any = true;
                    }
                if (any)
                    steps.push_back(step);
            }
    };
    stepsFrom(0, m.steps);
    m.alignment = d <= 5 ? 4 : 8;
    for (int a = 0; a < m.alignment; ++a) {
        stepsFrom(a, m.aligned[a]);
        m.alignedWidth[a] = (a + d + 7) / 8 * 8;
    }
    return m;
}

// A projected point ready for stamping: the top-left pixel of its disc, the
// disc's depth (0..1) and its colour 0x00RRGGBB.
struct Splat {
    std::int16_t x, y; // within 32767 pixels of the target
    float depth;
    std::uint32_t rgb;
};

namespace detail {

// The colour of shading level k of a disc of colour rgb.
inline std::uint32_t LevelColour(const DiscMask& m, std::uint32_t rgb, int k, bool shaded)
{
    if (!shaded)
        return rgb | 0xFF000000u;
    const std::uint32_t f = m.factor[k], o = m.offset[k];
    const auto channel = [&](int shift) { return std::min<std::uint32_t>(255, (((rgb >> shift) & 255) * f + o) >> 7); };
    return 0xFF000000u | channel(16) << 16 | channel(8) << 8 | channel(0);
}

// One disc pixel by pixel, clipped to the target and rows [y0, y1).
inline void StampDisc(Splat p, const DiscMask& m, const Target& t, int y0, int y1, bool shaded)
{
    for (const DiscMask::Step& step : m.steps) {
        const int y = p.y + step.dy;
        if (y < y0 || y >= y1)
            continue;
        float* depth = t.depth + t.Row(y);
        std::uint32_t* pixels = t.pixels + t.Row(y);
        for (int l = 0; l < 8; ++l) {
            const int x = p.x + step.dx + l;
            if (!step.lane[l] || x < 0 || x >= t.width || !(p.depth < depth[x]))
                continue;
            depth[x] = p.depth;
            pixels[x] = LevelColour(m, p.rgb, step.level[l], shaded);
        }
    }
}

inline void StampDiscs(const Splat* splats, std::size_t count, const DiscMask& m, const Target& t, int y0, int y1,
                       bool shaded)
{
    for (std::size_t k = 0; k < count; ++k)
        StampDisc(splats[k], m, t, y0, y1, shaded);
}

#ifdef PLOT_RASTER_LANES
// Eight pixels of a row a step: depth test and write as one masked blend of
// the step's lanes, the colours of the levels picked by a permutation. A
// disc whose steps reach past a side of the target goes pixel by pixel.
// A step of a disc in lanes, with its offset in the target's buffers.
struct LaneStep {
    std::ptrdiff_t offset; // (dy * stride + dx) * 4: bytes in the depth and colour rows alike
    std::int32_t dy;
    std::uint32_t bits;    // the lanes as bits
    std::int32_t lane[8];
    std::int32_t slot[8];
};

// Draws the discs' steps for alignment a (the splats' left columns are 8 k + a).
template <bool Whole, int N>
[[gnu::always_inline, gnu::target("avx2")]] inline void StampSteps(const LaneStep* steps, std::size_t n,
                                                                    char* depthRows, char* pixelRows, __m256 z,
                                                                    __m256i colours, int top, unsigned rows)
{
    // N > 0: every disc has N steps, a loop the compiler unrolls.
    const std::size_t count = N > 0 ? std::size_t(N) : n;
#pragma GCC unroll 8
    for (std::size_t s = 0; s < count; ++s) {
        const LaneStep& step = steps[s];
        if (!Whole && unsigned(top + step.dy) >= rows)
            continue;
        float* const depth = reinterpret_cast<float*>(depthRows + step.offset);
        std::uint32_t* const pixels = reinterpret_cast<std::uint32_t*>(pixelRows + step.offset);
        const __m256 old = _mm256_loadu_ps(depth);
        const __m256i hit = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(step.lane)),
                                             _mm256_castps_si256(_mm256_cmp_ps(z, old, _CMP_LT_OQ)));
        _mm256_storeu_ps(depth, _mm256_blendv_ps(old, z, _mm256_castsi256_ps(hit)));
        const __m256i c =
            _mm256_permutevar8x32_epi32(colours, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(step.slot)));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), _mm256_blendv_epi8(before, c, hit));
    }
}

// The same with AVX-512 masks: the depth test into a mask, masked stores.
template <bool Whole, int N>
[[gnu::always_inline, gnu::target("avx2,avx512f,avx512vl")]] inline void
StampStepsMasked(const LaneStep* steps, std::size_t n, char* depthRows, char* pixelRows, __m256 z, __m256i colours,
                 int top, unsigned rows)
{
    const std::size_t count = N > 0 ? std::size_t(N) : n;
#pragma GCC unroll 8
    for (std::size_t s = 0; s < count; ++s) {
        const LaneStep& step = steps[s];
        if (!Whole && unsigned(top + step.dy) >= rows)
            continue;
        float* const depth = reinterpret_cast<float*>(depthRows + step.offset);
        std::uint32_t* const pixels = reinterpret_cast<std::uint32_t*>(pixelRows + step.offset);
        const __mmask8 hit = _mm256_mask_cmp_ps_mask(__mmask8(step.bits), z, _mm256_loadu_ps(depth), _CMP_LT_OQ);
        _mm256_mask_storeu_ps(depth, hit, z);
        const __m256i c =
            _mm256_permutevar8x32_epi32(colours, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(step.slot)));
        _mm256_mask_storeu_epi32(pixels, hit, c);
    }
}

// A disc mask's steps in lanes for a target's stride, per alignment.
struct LaneDiscs {
    std::vector<LaneStep> steps;
    std::size_t first[9] = {}; // steps[first[a] .. first[a + 1]) for alignment a
    int alignedWidth[8] = {};
    int alignment = 8;
    int fixedSteps = 0; // the steps of every alignment, or 0 where they differ

    LaneDiscs(const DiscMask& m, std::ptrdiff_t stride) : alignment(m.alignment)
    {
        for (int a = 0; a < alignment; ++a) {
            first[a] = steps.size();
            for (const DiscMask::Step& s : m.aligned[a]) {
                LaneStep l;
                l.offset = (s.dy * stride + s.dx) * std::ptrdiff_t(sizeof(float));
                l.dy = s.dy;
                l.bits = 0;
                for (int b = 0; b < 8; ++b)
                    l.bits |= s.lane[b] ? 1u << b : 0u;
                std::copy(s.lane, s.lane + 8, l.lane);
                std::copy(s.slot, s.slot + 8, l.slot);
                steps.push_back(l);
            }
            alignedWidth[a] = m.alignedWidth[a];
        }
        first[alignment] = steps.size();
        fixedSteps = int(first[1] - first[0]);
        for (int a = 1; a < alignment; ++a)
            if (first[a + 1] - first[a] != first[1] - first[0])
                fixedSteps = 0;
    }
};

// The eight levels' colours of a disc of colour rgb, in the lanes' order,
// from the mask's words (factors and offsets of levels 0-3 and 4-7).
[[gnu::always_inline, gnu::target("avx2")]] inline __m256i LevelColours(std::uint32_t rgb, bool shaded, __m256i fa,
                                                                         __m256i oa, __m256i fb, __m256i ob)
{
    if (!shaded)
        return _mm256_set1_epi32(int(rgb | 0xFF000000u));
    // The colour's bytes as words, four times: levels 0-3 and 4-7.
    const __m256i c = _mm256_cvtepu8_epi16(_mm_set1_epi32(int(rgb)));
    const __m256i lo = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c, fa), oa), 7);
    const __m256i hi = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(c, fb), ob), 7);
    return _mm256_packus_epi16(lo, hi); // levels 0 1 4 5 | 2 3 6 7
}

// The loop over the discs, for StampSteps or StampStepsMasked. A macro:
// the two differ in their instruction sets, which a template cannot carry.
#define PLOT_STAMP_DISCS_LOOP(STEPS)                                                                                  \
    char* const depthRows = reinterpret_cast<char*>(t.depth);                                                         \
    char* const pixelRows = reinterpret_cast<char*>(t.pixels);                                                        \
    const std::ptrdiff_t stride = t.stride;                                                                           \
    const int originY = t.originY, width = t.width, d = m.diameter, alignment = lanes.alignment;                      \
    const unsigned rows = unsigned(y1 - y0);                                                                          \
    const LaneStep* const all = lanes.steps.data();                                                                   \
    const __m256i fa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.laneFactor[0]));                         \
    const __m256i oa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.laneOffset[0]));                         \
    const __m256i fb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.laneFactor[1]));                         \
    const __m256i ob = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.laneOffset[1]));                         \
    for (std::size_t k = 0; k < count; ++k) {                                                                         \
        const Splat p = splats[k];                                                                                    \
        const int a = p.x & (alignment - 1), left = p.x - a;                                                          \
        if (p.x < 0 || left + lanes.alignedWidth[a] > width) {                                                        \
            StampDisc(p, m, t, y0, y1, shaded);                                                                       \
            continue;                                                                                                 \
        }                                                                                                             \
        const __m256i colours = LevelColours(p.rgb, shaded, fa, oa, fb, ob);                                          \
        const __m256 z = _mm256_set1_ps(p.depth);                                                                     \
        const std::ptrdiff_t base = (std::ptrdiff_t(p.y - originY) * stride + left) * std::ptrdiff_t(sizeof(float));  \
        char* const depthAt = depthRows + base;                                                                       \
        char* const pixelAt = pixelRows + base;                                                                       \
        const int top = p.y - y0;                                                                                     \
        const LaneStep* const s = all + lanes.first[a];                                                               \
        const std::size_t n = lanes.first[a + 1] - lanes.first[a];                                                    \
        if (unsigned(top) < rows && unsigned(top + d - 1) < rows)                                                     \
            STEPS<true, N>(s, n, depthAt, pixelAt, z, colours, top, rows);                                            \
        else                                                                                                          \
            STEPS<false, N>(s, n, depthAt, pixelAt, z, colours, top, rows);                                           \
    }

// N > 0: every disc has N steps whatever its alignment.
template <int N>
[[gnu::target("avx2")]] void StampDiscsLanes(const Splat* splats, std::size_t count, const DiscMask& m,
                                             const LaneDiscs& lanes, const Target& t, int y0, int y1, bool shaded)
{
    PLOT_STAMP_DISCS_LOOP(StampSteps)
}

template <int N>
[[gnu::target("avx2,avx512f,avx512vl")]] void StampDiscsMasked(const Splat* splats, std::size_t count,
                                                               const DiscMask& m, const LaneDiscs& lanes,
                                                               const Target& t, int y0, int y1, bool shaded)
{
    PLOT_STAMP_DISCS_LOOP(StampStepsMasked)
}
#undef PLOT_STAMP_DISCS_LOOP

// Small discs of 1 to 5 pixels (4-aligned, one step a row) with their step
// count fixed at compile time, others with a loop.
template <bool Masked>
inline void StampDiscsDispatch(const Splat* splats, std::size_t count, const DiscMask& m, const LaneDiscs& lanes,
                               const Target& t, int y0, int y1, bool shaded)
{
#define PLOT_STAMP_CASE(N)                                                                                             \
    case N:                                                                                                           \
        if constexpr (Masked)                                                                                         \
            StampDiscsMasked<N>(splats, count, m, lanes, t, y0, y1, shaded);                                          \
        else                                                                                                          \
            StampDiscsLanes<N>(splats, count, m, lanes, t, y0, y1, shaded);                                           \
        return;
    switch (lanes.fixedSteps) {
        PLOT_STAMP_CASE(1)
        PLOT_STAMP_CASE(2)
        PLOT_STAMP_CASE(3)
        PLOT_STAMP_CASE(4)
        PLOT_STAMP_CASE(5)
    default:
        PLOT_STAMP_CASE(0)
    }
#undef PLOT_STAMP_CASE
}
#endif

} // namespace detail

// Whether FillMode::Best stamps discs with AVX-512 masks on this processor.
inline bool DiscsWithMasks()
{
#ifdef PLOT_RASTER_LANES
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

// Stamps the discs of `splats` in order, depth tested (strictly nearer wins)
// and written, in rows [y0, y1) of the target only; shaded: with the mask's
// light, else flat. In lanes where the processor can (FillMode::Best); both
// ways give the same picture.
inline void DrawDiscs(const Splat* splats, std::size_t count, const DiscMask& m, const Target& t, int y0, int y1,
                      bool shaded, FillMode mode = FillMode::Best)
{
#ifdef PLOT_RASTER_LANES
    if (mode != FillMode::PixelByPixel && __builtin_cpu_supports("avx2")) {
        const detail::LaneDiscs lanes(m, t.stride);
        if (mode == FillMode::Best && DiscsWithMasks())
            detail::StampDiscsDispatch<true>(splats, count, m, lanes, t, y0, y1, shaded);
        else
            detail::StampDiscsDispatch<false>(splats, count, m, lanes, t, y0, y1, shaded);
        return;
    }
#endif
    (void)mode;
    detail::StampDiscs(splats, count, m, t, y0, y1, shaded);
}

} // namespace plot::raster
