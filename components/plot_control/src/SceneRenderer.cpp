#include "plot_control/SceneRenderer.h"

#include "AxisOverlay.h"
#include "SoftwareRasterizer.h"
#include "SurfaceLod.h"
#include "plot_control/Lighting.h"
#include "platform/parallel.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

namespace plot {

using raster::ScreenVertex;
using raster::Target;

namespace {

// A unit-cube position in clip coordinates (column-major view-projection m).
struct ClipPoint {
    float x, y, z, w;
};
[[gnu::always_inline]] inline ClipPoint ToClip(const float* m, const Vec3& p)
{
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14], m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15]};
}

} // namespace

namespace {

// Marks the upper halves of the vector registers clean. Code that used
// 256-bit registers and returned without saying so (Qt's fills and painting
// do) leaves them dirty, and then every SSE instruction of the compiled
// scalar code waits on them: on the machines measured here that code ran two
// to three times slower until something cleared them.
#ifdef PLOT_RASTER_LANES
[[gnu::target("avx")]] void ZeroUpper()
{
    _mm256_zeroupper();
}
#endif

void ClearUpperRegisters()
{
#ifdef PLOT_RASTER_LANES
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        ZeroUpper();
#endif
}

// Runs job(part, parts) for every part, on the kept helper threads and this one.
void RunParallel(int parts, const std::function<void(int, int)>& job)
{
    ClearUpperRegisters();
    platform::ParallelFor(parts, job);
}

// Precomputed light terms for view-space normals, the eye direction taken as
// the view axis (the same in the OpenGL shader).
struct LightTerms {
    Vec3 l, h;
    explicit LightTerms()
    {
        l = lighting::Direction();
        h = Normalize(l + Vec3{0, 0, 1});
    }
    std::uint32_t Shade(std::uint32_t rgb, Vec3 n) const
    {
        if (n.z < 0)
            n = -n;
        const float d = Dot(n, l);
        const float intensity = lighting::kAmbient + lighting::kDiffuse * (d > 0 ? d : 0);
        float s = Dot(n, h);
        // Below 0.07 the 32nd power is under 1e-37 and invisible; cutting it
        // off keeps the squarings out of denormal numbers, which cost the CPU
        // a hundred cycles each.
        s = s > 0.07f ? s : 0;
        s *= s; s *= s; s *= s; s *= s; s *= s;
        const float spec = lighting::kSpecular * 255.0f * s;
        return raster::Pack(float((rgb >> 16) & 255) * intensity + spec, float((rgb >> 8) & 255) * intensity + spec,
                            float(rgb & 255) * intensity + spec);
    }
};

// The same light for normals in unit-cube coordinates. The light is fixed to
// the viewer, so turning its vectors back into the cube once per frame
// replaces turning every normal into view space (dot products are the same
// under the view's rotation).
struct CubeLight {
    Vec3 l, h, toEye;
    explicit CubeLight(const Mat4& view)
    {
        const LightTerms v;
        const auto back = [&view](Vec3 d) {
            Vec3 r;
            r.x = view.m[0] * d.x + view.m[1] * d.y + view.m[2] * d.z;
            r.y = view.m[4] * d.x + view.m[5] * d.y + view.m[6] * d.z;
            r.z = view.m[8] * d.x + view.m[9] * d.y + view.m[10] * d.z;
            return r;
        };
        l = back(v.l);
        h = back(v.h);
        toEye = back(Vec3{0, 0, 1});
    }
    std::uint32_t Shade(std::uint32_t rgb, Vec3 n) const
    {
        const float side = Dot(n, toEye) < 0 ? -1.0f : 1.0f; // two-sided
        const float d = side * Dot(n, l);
        const float intensity = lighting::kAmbient + lighting::kDiffuse * (d > 0 ? d : 0);
        float s = side * Dot(n, h);
        s = s > 0.07f ? s : 0; // see LightTerms
        s *= s; s *= s; s *= s; s *= s; s *= s;
        const float spec = lighting::kSpecular * 255.0f * s;
        return raster::Pack(float((rgb >> 16) & 255) * intensity + spec, float((rgb >> 8) & 255) * intensity + spec,
                            float(rgb & 255) * intensity + spec);
    }
};

// Projects vertices [begin, end) to the screen and lights them. Colours are
// read with a stride (in 32-bit words) so both the scene's vertex records and
// packed colour arrays serve.
template <class Out>
void TransformRange(const Vec3* pos, const Vec3* normals, const std::uint32_t* colors, std::size_t colorStride,
                    std::size_t begin, std::size_t end, const ViewProjection& vp, int width, int height,
                    bool lighting, Out* out)
{
    // Local copies: the compiler cannot know that the output does not alias them.
    float m[16];
    std::copy(vp.viewProjection.m, vp.viewProjection.m + 16, m);
    const CubeLight light(vp.view);
    const float hw = 0.5f * width, hh = 0.5f * height;
    for (std::size_t i = begin; i < end; ++i) {
        const Vec3 p = pos[i];
        const auto [cx, cy, cz, cw] = ToClip(m, p);
        const float iw = 1.0f / cw;
        ScreenVertex o{(cx * iw + 1) * hw, (1 - cy * iw) * hh, cz * iw * 0.5f + 0.5f, 0};
        // Behind the eye, outside the depth range or not finite: not drawn.
        if (!(cw > 1e-6f) || !(o.z >= 0 && o.z <= 1)) {
            o = {0, 0, -1, 0};
        } else {
            const std::uint32_t rgb = colors[i * colorStride];
            o.color = lighting ? light.Shade(rgb, normals[i]) : (rgb | 0xFF000000u);
        }
        if constexpr (std::is_same_v<Out, raster::FixedVertex>)
            out[i] = raster::ToFixed(o);
        else
            out[i] = o;
    }
}

// Projects points [begin, end) of a pixel-sized cloud into a frame of
// width x height pixels and sorts their discs into the bands their rows reach
// (bins[band]). Points behind the eye, outside the depth range, not finite or
// whose disc misses the frame are dropped. The depth of a disc is its
// centre's less depthPerInvW / w.
// The discs of one band, as a thread sorted them: a growing array that
// keeps its memory from frame to frame.
struct DiscBin {
    std::unique_ptr<raster::Splat[]> data;
    std::size_t size = 0, capacity = 0;

    // Room for n more at data + size.
    [[gnu::always_inline]] raster::Splat* Room(std::size_t n)
    {
        if (size + n > capacity)
            Grow(size + n);
        return data.get() + size;
    }
    [[gnu::always_inline]] void Push(const raster::Splat& s)
    {
        *Room(1) = s;
        ++size;
    }
    void Grow(std::size_t need)
    {
        const std::size_t capacity2 = std::max({need, 2 * capacity, std::size_t(4096)});
        auto data2 = std::make_unique_for_overwrite<raster::Splat[]>(capacity2);
        std::copy(data.get(), data.get() + size, data2.get());
        data = std::move(data2);
        capacity = capacity2;
    }
};

// Sorts a disc into the bands its rows reach.
[[gnu::always_inline]] inline void BinDisc(const raster::Splat& s, int d, int height, const std::uint8_t* rowOwner,
                                           DiscBin* bins)
{
    const int first = rowOwner[std::max(int(s.y), 0)], last = rowOwner[std::min(s.y + d - 1, height - 1)];
    bins[first].Push(s);
    for (int b = first + 1; b <= last; ++b)
        bins[b].Push(s);
}

#ifdef PLOT_RASTER_LANES
// Row r of column-major matrix m times (x, y, z, 1), as the scalar code adds.
[[gnu::always_inline, gnu::target("avx2")]] inline __m256 MatrixRow(const __m256* m, int r, __m256 x, __m256 y,
                                                                     __m256 z)
{
    return _mm256_add_ps(
        _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(m[r], x), _mm256_mul_ps(m[4 + r], y)), _mm256_mul_ps(m[8 + r], z)),
        m[12 + r]);
}

// Writes eight discs' records (12 bytes each) from their fields in lanes.
[[gnu::always_inline, gnu::target("avx2")]] inline void StoreSplats(raster::Splat* out, __m256i x, __m256i y,
                                                                     __m256 depth, __m256i rgb)
{
    static_assert(sizeof(raster::Splat) == 12 && offsetof(raster::Splat, depth) == 4 &&
                  offsetof(raster::Splat, rgb) == 8);
    const __m256i a = _mm256_or_si256(_mm256_slli_epi32(y, 16), _mm256_and_si256(x, _mm256_set1_epi32(0xFFFF)));
    const __m256i b = _mm256_castps_si256(depth), c = rgb;
    // Words 0-7 of the records: a0 b0 c0 a1 b1 c1 a2 b2 | c2 a3 b3 c3 a4 b4 c4 a5 | b5 c5 a6 b6 c6 a7 b7 c7.
    const __m256i out0 = _mm256_blend_epi32(
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 0, 0, 1, 0, 0, 2, 0)),
                           _mm256_permutevar8x32_epi32(b, _mm256_setr_epi32(0, 0, 0, 0, 1, 0, 0, 2)), 0b10010010),
        _mm256_permutevar8x32_epi32(c, _mm256_setr_epi32(0, 0, 0, 0, 0, 1, 0, 0)), 0b00100100);
    const __m256i out1 = _mm256_blend_epi32(
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 3, 0, 0, 4, 0, 0, 5)),
                           _mm256_permutevar8x32_epi32(b, _mm256_setr_epi32(0, 0, 3, 0, 0, 4, 0, 0)), 0b00100100),
        _mm256_permutevar8x32_epi32(c, _mm256_setr_epi32(2, 0, 0, 3, 0, 0, 4, 0)), 0b01001001);
    const __m256i out2 = _mm256_blend_epi32(
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(a, _mm256_setr_epi32(0, 0, 6, 0, 0, 7, 0, 0)),
                           _mm256_permutevar8x32_epi32(b, _mm256_setr_epi32(5, 0, 0, 6, 0, 0, 7, 0)), 0b01001001),
        _mm256_permutevar8x32_epi32(c, _mm256_setr_epi32(0, 5, 0, 0, 6, 0, 0, 7)), 0b10010010);
    __m256i* to = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(to, out0);
    _mm256_storeu_si256(to + 1, out1);
    _mm256_storeu_si256(to + 2, out2);
}

// SplatRange eight points at a time: the same arithmetic, so the same discs.
[[gnu::target("avx2")]] std::size_t SplatLanes(const Vec3* pos, const std::uint32_t* colors, std::size_t begin,
                                                std::size_t end, const ViewProjection& vp, int width, int height,
                                                const raster::DiscMask& mask, float depthPerInvW,
                                                const std::uint8_t* rowOwner, DiscBin* bins)
{
    __m256 m[16];
    for (int k = 0; k < 16; ++k)
        m[k] = _mm256_set1_ps(vp.viewProjection.m[k]);
    const __m256 hw = _mm256_set1_ps(0.5f * width), hh = _mm256_set1_ps(0.5f * height);
    const __m256 one = _mm256_set1_ps(1.0f), halfF = _mm256_set1_ps(0.5f), zero = _mm256_setzero_ps();
    const int d = mask.diameter;
    const __m256 shift = _mm256_set1_ps(mask.shift + 2048.0f);
    const __m256i offset = _mm256_set1_epi32(2048 + mask.half);
    const __m256 loX = _mm256_set1_ps(-float(d)), hiX = _mm256_set1_ps(float(width + d));
    const __m256 loY = _mm256_set1_ps(-float(d)), hiY = _mm256_set1_ps(float(height + d));
    const __m256 minW = _mm256_set1_ps(1e-6f), perInvW = _mm256_set1_ps(depthPerInvW);
    const __m256i lastX = _mm256_set1_epi32(width), lastY = _mm256_set1_epi32(height), minXY = _mm256_set1_epi32(-d);
    std::size_t i = begin;
    alignas(32) std::int32_t xs[8], ys[8];
    alignas(32) float depths[8];
    for (; i + 8 <= end; i += 8) {
        // Eight points' x, y, z from their packed triples.
        const float* f = &pos[i].x;
        const __m256 m03 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(f)), _mm_loadu_ps(f + 12), 1);
        const __m256 m14 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(f + 4)), _mm_loadu_ps(f + 16), 1);
        const __m256 m25 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(f + 8)), _mm_loadu_ps(f + 20), 1);
        const __m256 xy = _mm256_shuffle_ps(m14, m25, _MM_SHUFFLE(2, 1, 3, 2));
        const __m256 yz = _mm256_shuffle_ps(m03, m14, _MM_SHUFFLE(1, 0, 2, 1));
        const __m256 px = _mm256_shuffle_ps(m03, xy, _MM_SHUFFLE(2, 0, 3, 0));
        const __m256 py = _mm256_shuffle_ps(yz, xy, _MM_SHUFFLE(3, 1, 2, 0));
        const __m256 pz = _mm256_shuffle_ps(yz, m25, _MM_SHUFFLE(3, 0, 3, 1));
        const __m256 cx = MatrixRow(m, 0, px, py, pz), cy = MatrixRow(m, 1, px, py, pz),
                     cz = MatrixRow(m, 2, px, py, pz), cw = MatrixRow(m, 3, px, py, pz);
        const __m256 iw = _mm256_div_ps(one, cw);
        const __m256 z = _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(cz, iw), halfF), halfF);
        const __m256 sx = _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(cx, iw), one), hw);
        const __m256 sy = _mm256_mul_ps(_mm256_sub_ps(one, _mm256_mul_ps(cy, iw)), hh);
        __m256 ok = _mm256_and_ps(_mm256_cmp_ps(cw, minW, _CMP_GT_OQ), _mm256_cmp_ps(z, zero, _CMP_GE_OQ));
        ok = _mm256_and_ps(ok, _mm256_cmp_ps(z, one, _CMP_LE_OQ));
        ok = _mm256_and_ps(ok, _mm256_and_ps(_mm256_cmp_ps(sx, loX, _CMP_GT_OQ), _mm256_cmp_ps(sx, hiX, _CMP_LT_OQ)));
        ok = _mm256_and_ps(ok, _mm256_and_ps(_mm256_cmp_ps(sy, loY, _CMP_GT_OQ), _mm256_cmp_ps(sy, hiY, _CMP_LT_OQ)));
        int visible = _mm256_movemask_ps(ok);
        if (!visible)
            continue;
        // Outside the lanes that passed the values may be anything: only those are read.
        const __m256i x = _mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_add_ps(_mm256_and_ps(sx, ok), shift)), offset);
        const __m256i y = _mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_add_ps(_mm256_and_ps(sy, ok), shift)), offset);
        const __m256i inFrame = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpgt_epi32(x, minXY), _mm256_cmpgt_epi32(lastX, x)),
            _mm256_and_si256(_mm256_cmpgt_epi32(y, minXY), _mm256_cmpgt_epi32(lastY, y)));
        visible &= _mm256_movemask_ps(_mm256_castsi256_ps(inFrame));
        if (!visible)
            continue;
        const __m256 depth = _mm256_max_ps(_mm256_sub_ps(z, _mm256_mul_ps(perInvW, iw)), zero);
        if (visible == 0xFF) {
            // All eight in view: when their discs lie in one band (the
            // points come in draw order, so they mostly do), they go there
            // at once, their records interleaved in the lanes.
            __m128i lo = _mm_min_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
            __m128i hi = _mm_max_epi32(_mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1));
            lo = _mm_min_epi32(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(1, 0, 3, 2)));
            hi = _mm_max_epi32(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(1, 0, 3, 2)));
            lo = _mm_min_epi32(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(2, 3, 0, 1)));
            hi = _mm_max_epi32(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(2, 3, 0, 1)));
            const int top = _mm_cvtsi128_si32(lo), bottom = _mm_cvtsi128_si32(hi) + d - 1;
            const int first = rowOwner[std::max(top, 0)];
            if (first == rowOwner[std::min(bottom, height - 1)]) {
                DiscBin& bin = bins[first];
                raster::Splat* out = bin.Room(8);
                StoreSplats(out, x, y, depth, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colors + i)));
                bin.size += 8;
                continue;
            }
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(xs), x);
        _mm256_store_si256(reinterpret_cast<__m256i*>(ys), y);
        _mm256_store_ps(depths, depth);
        for (; visible; visible &= visible - 1) {
            const int l = __builtin_ctz(unsigned(visible));
            BinDisc(raster::Splat{std::int16_t(xs[l]), std::int16_t(ys[l]), depths[l], colors[i + std::size_t(l)]}, d,
                    height, rowOwner, bins);
        }
    }
    return i;
}
#endif

void SplatRange(const Vec3* pos, const std::uint32_t* colors, std::size_t begin, std::size_t end,
                const ViewProjection& vp, int width, int height, const raster::DiscMask& mask, float depthPerInvW,
                const std::uint8_t* rowOwner, DiscBin* bins)
{
#ifdef PLOT_RASTER_LANES
    if (__builtin_cpu_supports("avx2"))
        begin = SplatLanes(pos, colors, begin, end, vp, width, height, mask, depthPerInvW, rowOwner, bins);
#endif
    float m[16];
    std::copy(vp.viewProjection.m, vp.viewProjection.m + 16, m);
    const float hw = 0.5f * width, hh = 0.5f * height;
    const int d = mask.diameter, half = mask.half;
    const float shift = mask.shift + 2048.0f; // floors by truncation: centres lie within a disc of the frame
    const float loX = -float(d), hiX = float(width + d), loY = -float(d), hiY = float(height + d);
    for (std::size_t i = begin; i < end; ++i) {
        const Vec3 p = pos[i];
        const auto [cx, cy, cz, cw] = ToClip(m, p);
        if (!(cw > 1e-6f))
            continue;
        const float iw = 1.0f / cw;
        const float z = cz * iw * 0.5f + 0.5f;
        const float sx = (cx * iw + 1) * hw, sy = (1 - cy * iw) * hh;
        if (!(z >= 0 && z <= 1 && sx > loX && sx < hiX && sy > loY && sy < hiY))
            continue;
        const int x = int(sx + shift) - 2048 - half, y = int(sy + shift) - 2048 - half;
        if (x + d <= 0 || x >= width || y + d <= 0 || y >= height)
            continue;
        BinDisc(raster::Splat{std::int16_t(x), std::int16_t(y), std::max(z - depthPerInvW * iw, 0.0f), colors[i]}, d,
                height, rowOwner, bins);
    }
}

// Level of detail: a grid-shaped surface is drawn from a coarser level when
// its cells are smaller than pixels. The step is the largest power of two
// that keeps a coarse cell within kLodCellPixels pixels of the output image
// (not of the supersampled one) where the surface is nearest to the eye, so
// coarse triangles still cover about a pixel or more.
constexpr float kLodCellPixels = 2.0f;
constexpr std::size_t kLodMinTriangles = 32768;
// Merged levels (see SurfaceLod.h) draw coarse cells of up to these many
// output pixels: drafts while the view moves, settled frames that asked for
// them. The draft's cells are a few pixels wide on average (the nearest
// corner's cells are the largest). Settled cells of up to 4 pixels (2 and
// less further back) keep the settled frame within a few drafts' time; their
// picture differs from full detail by 1.8-2.0 (0.1 % noise) to 4.3-5.3 (1 %)
// per channel, against 1.4-2.0 and 4.1-5.0 with cells of 2 pixels at four
// times the triangles. Both are measured by bench/plot_render_bench.
constexpr float kDraftCellPixels = 8.0f;
constexpr float kMergedCellPixels = 4.0f;
// A draft draws at most about this many points of a cloud: every k-th in
// draw order, which is a curve through the cloud's box, so the subsample
// stays spread over the whole cloud.
constexpr std::size_t kDraftPoints = 250000;
// Settled frames that asked for merged levels draw at most about this many:
// beyond it the discs of a cloud cover its pixels ten times over and more
// (and cost four times a draft's each, antialiased). Against every point
// the picture differs by about 1.5 per channel at 1 M points, 3 at 5 M.
constexpr std::size_t kSettledPoints = 500000;

// Surfaces from which a draft with RenderOptions::deferLevels defers
// building: recognising the grid and merging a level take 50 ms and more.
constexpr std::size_t kDeferTriangles = 500000;

const LodLevel* ChooseLevel(const SurfaceMesh& mesh, const ViewProjection& vp, const RenderOptions& o,
                            bool* deferred)
{
    if (!o.levelOfDetail || mesh.TriangleCount() < kLodMinTriangles)
        return nullptr;
    const bool defer = o.draft && o.deferLevels && mesh.TriangleCount() >= kDeferTriangles;
    if (defer && !mesh.HasLevelOfDetail()) {
        *deferred = true;
        return nullptr;
    }
    SurfaceLod* made = o.abandon ? mesh.LevelOfDetail(*o.abandon) : &mesh.LevelOfDetail();
    if (!made || !made->IsGrid())
        return nullptr;
    SurfaceLod& lod = *made;
    const Vec3 lo = lod.Min(), hi = lod.Max();
    float nearest = vp.zFar;
    for (int k = 0; k < 8; ++k) {
        const Vec3 c{k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
        nearest = std::min(nearest, -vp.view.TransformPoint(c).z);
    }
    const float cellPixels = lod.CellSize() * vp.PixelsPerUnit(std::max(nearest, vp.zNear));
    const bool merged = o.draft || o.mergeSubpixelCells;
    const float limit = o.draft ? kDraftCellPixels : o.mergeSubpixelCells ? kMergedCellPixels : kLodCellPixels;
    int step = 1;
    while (step < 1024 && float(step * 2) * cellPixels <= limit)
        step *= 2;
    // A draft merges cells whatever their noise: it is seen only while the
    // view moves. It takes a coarser level already built rather than build
    // its own (a resize or zoom would stall on it); the settled frame's
    // thread builds that after the pause.
    if (o.draft && !o.buildLevels && step >= 2)
        for (int coarser = step; coarser <= 1024; coarser *= 2)
            if (const LodLevel* level = lod.Built(mesh, coarser, true))
                return level;
    if (defer && step >= 2) {
        *deferred = true;
        return nullptr;
    }
    for (; step >= 2; step /= 2)
        if (const LodLevel* level = lod.Level(mesh, step, merged, o.abandon))
            return level;
    return nullptr;
}

std::uint32_t ToArgb(const QColor& c)
{
    return 0xFF000000u | (std::uint32_t(c.red()) << 16) | (std::uint32_t(c.green()) << 8) | std::uint32_t(c.blue());
}

} // namespace

namespace {

// The frame's rows are drawn in bands: about kBands of them, at least
// kMinBandRows tall. Threads take bands as they finish (where the surface
// lies decides the work of a band), and each band is drawn into buffers of
// its own size, so a supersampled frame never exists whole: its colour and
// depth stay in the caches and the memory touched is a few bands.
constexpr int kBands = 16;
constexpr int kMinBandRows = 32;

constexpr int kMaxDiscFrame = 32000;

int PartsFor(const RenderOptions& o)
{
    if (o.threads > 0)
        return std::clamp(o.threads, 1, 8);
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 2);
}

// A sprite of a point cloud on the screen.
struct Sprite {
    float sx, sy, radius, viewZ;
    std::uint32_t rgb;
};

// Which bands rows [top, bottom] reach.
std::pair<int, int> BandsOf(float top, float bottom, int bandRows, int bands)
{
    if (!(top <= bottom)) // not finite
        return {1, 0};
    const float last = float(bands * bandRows - 1);
    const int first = int(std::clamp(std::floor(top), 0.0f, last)) / bandRows;
    const int end = int(std::clamp(std::ceil(bottom), 0.0f, last)) / bandRows;
    return {first, end};
}

} // namespace

// The work of one frame, prepared before any band is drawn: per surface its
// projected vertices and its triangles sorted into bands, per cloud its
// sprites sorted into bands, the water's corners.
struct SceneRenderer::Impl {
    struct SurfaceWork {
        bool wire = false;
        const std::uint32_t* indices = nullptr;
        std::vector<raster::FixedVertex> fixed; // filled
        std::vector<ScreenVertex> screen;       // wireframe
        std::vector<std::vector<std::uint32_t>> bins; // [thread * bands + band]: triangle numbers
    };
    struct CloudWork {
        std::vector<Sprite> sprites;
        std::vector<std::vector<std::uint32_t>> bins; // [band]: sprite numbers
        float unitRadius = 0;
        // Pixel-sized points: their discs' mask, and the discs sorted by
        // each thread into bands (in draw order: neighbours on the screen
        // follow each other, so stamping them stays in the caches).
        const raster::DiscMask* mask = nullptr;
        std::vector<DiscBin> discs; // [thread * bands + band]
        // Subsamples (drafts, settled frames), kept while the cloud's revision holds.
        struct Sample {
            const PointCloud* of = nullptr;
            std::uint64_t revision = 0;
            std::vector<Vec3> positions;
            std::vector<std::uint32_t> colors;
        };
        std::array<Sample, 2> samples;
    };
    std::vector<SurfaceWork> surfaces;
    std::vector<CloudWork> clouds;
    std::optional<std::array<ScreenVertex, 4>> water;
    std::vector<std::uint8_t> rowOwner; // the band of each row
    // Per thread: a band's colour (when supersampled) and depth.
    std::vector<std::unique_ptr<std::uint32_t[]>> bandColour;
    std::vector<std::unique_ptr<float[]>> bandDepth;
    std::size_t bandSize = 0; // pixels of each
    std::map<int, std::unique_ptr<raster::DiscMask>> masks; // by diameter
    QImage picture; // the last frame Render drew
    RenderStats stats;

    int W = 0, H = 0, scale = 1, parts = 1, bandRows = 0, bands = 0;
    float p10 = 0, p14 = 0; // the projection's depth terms, for sprites

    void Prepare(Scene& scene, const ViewProjection& vp, int width, int height, int supersample,
                 const RenderOptions& o);
    // Draws band b into t (rows [y0, y1) of the frame), whose colour the caller prepared.
    void DrawBand(int b, const Target& t, bool lighting) const;
    // Runs band(part, b, y0, y1) for every band on `parts` threads, each
    // band once, in the order the threads come for them.
    void ForEachBand(const std::function<void(int, int, int, int)>& band) const;
    // Depth rows for one thread's band, cleared.
    float* Depth(int part, int rows);
    const raster::DiscMask& Mask(int diameter);
};

const raster::DiscMask& SceneRenderer::Impl::Mask(int diameter)
{
    auto& slot = masks[diameter];
    if (!slot)
        slot = std::make_unique<raster::DiscMask>(raster::MakeDiscMask(diameter, lighting::ShadePoint));
    return *slot;
}

void SceneRenderer::Impl::ForEachBand(const std::function<void(int, int, int, int)>& band) const
{
    std::atomic<int> next{0};
    RunParallel(parts, [&](int part, int) {
        for (int b; (b = next.fetch_add(1, std::memory_order_relaxed)) < bands;)
            band(part, b, b * bandRows, std::min(H, (b + 1) * bandRows));
    });
}

float* SceneRenderer::Impl::Depth(int part, int rows)
{
    // Rows of 32-bit pixels (RGB32) are exactly W apart, so one stride serves
    // colour and depth.
    float* depth = bandDepth[std::size_t(part)].get();
    std::fill(depth, depth + std::ptrdiff_t(rows) * W, 1.0f);
    return depth;
}

void SceneRenderer::Impl::Prepare(Scene& scene, const ViewProjection& vp, int width, int height, int supersample,
                                  const RenderOptions& o)
{
    W = width;
    H = height;
    scale = supersample;
    p10 = vp.projection.m[10];
    p14 = vp.projection.m[14];
    parts = PartsFor(o);
    stats = {};
    // Bands are whole rows of the output picture, and at most 256.
    bandRows = o.bandRows > 0 ? o.bandRows : std::max(kMinBandRows, (H + kBands - 1) / kBands);
    bandRows = std::clamp(bandRows, (H + 255) / 256, H);
    bandRows = (bandRows + scale - 1) / scale * scale;
    bands = (H + bandRows - 1) / bandRows;
    rowOwner.resize(std::size_t(H));
    for (int y = 0; y < H; ++y)
        rowOwner[std::size_t(y)] = std::uint8_t(y / bandRows);
    // Not value-initialised: every band clears its rows first.
    if (bandSize < std::size_t(bandRows) * W || bandDepth.size() != std::size_t(parts)) {
        bandDepth.clear();
        bandColour.clear();
        for (int p = 0; p < parts; ++p) {
            bandDepth.push_back(std::make_unique_for_overwrite<float[]>(std::size_t(bandRows) * W));
            bandColour.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t(bandRows) * W));
        }
        bandSize = std::size_t(bandRows) * W;
    }

    Target frame;
    frame.width = W;
    frame.height = H;
    frame.stride = W;
    // The view matrices are those of the frame.
    const auto& meshes = scene.Surfaces();
    surfaces.resize(meshes.size());
    const auto abandoned = [&] { return o.abandon && o.abandon->load(std::memory_order_relaxed); };
    for (std::size_t m = 0; m < meshes.size(); ++m) {
        const auto& mesh = meshes[m];
        SurfaceWork& work = surfaces[m];
        work.indices = nullptr;
        if (abandoned())
            continue;
        if (!mesh->IsVisible() || mesh->TriangleCount() == 0)
            continue;
        work.wire = scene.WireFrame();
        for (auto& bin : work.bins)
            bin.clear();
        work.bins.resize(std::size_t(parts) * bands);
        if (!work.wire) {
            bool deferred = false;
            const LodLevel* level = ChooseLevel(*mesh, vp, o, &deferred);
            if (deferred) {
                stats.levelsDeferred = true;
                continue; // not drawn
            }
            if (abandoned())
                continue; // perhaps while building a level
            const Vec3* pos = level ? level->positions.data() : mesh->UnitPositions().data();
            const Vec3* normals = level ? level->normals.data() : mesh->Normals().data();
            const ColorView meshColors = mesh->Colors();
            const std::uint32_t* colors = level ? level->colors.data() : meshColors.data;
            const std::size_t stride = level ? 1 : meshColors.stride;
            const std::size_t n = level ? level->positions.size() : mesh->Vertices().size();
            const std::uint32_t* indices = level ? level->indices.data() : mesh->Indices().data();
            const std::size_t triangles = level ? level->indices.size() / 3 : mesh->TriangleCount();
            work.indices = indices;
            work.fixed.resize(n);
            stats.triangles += triangles;
            stats.coarsestStep = std::max(stats.coarsestStep, level ? level->step : 1);
            RunParallel(parts, [&](int p, int np) {
                TransformRange(pos, normals, colors, stride, n * p / np, n * (p + 1) / np, vp, W, H, o.lighting,
                               work.fixed.data());
            });
            if (abandoned())
                continue;
            // Each thread sorts its share of the triangles into bands; a
            // band then draws every share in order, so the picture is the
            // same for any number of threads.
            RunParallel(parts, [&](int p, int np) {
                raster::BinTriangles(work.fixed.data(), indices, triangles * p / np, triangles * (p + 1) / np, frame,
                                     rowOwner.data(), bands, &work.bins[std::size_t(p) * bands]);
            });
        } else {
            const std::size_t n = mesh->Vertices().size();
            const std::size_t triangles = mesh->TriangleCount();
            work.indices = mesh->Indices().data();
            work.screen.resize(n);
            stats.triangles += triangles;
            const ColorView colors = mesh->Colors();
            RunParallel(parts, [&](int p, int np) {
                TransformRange(mesh->UnitPositions().data(), mesh->Normals().data(), colors.data, colors.stride,
                               n * p / np, n * (p + 1) / np, vp, W, H, o.lighting, work.screen.data());
            });
            // Lines are `scale` pixels wide.
            RunParallel(parts, [&](int p, int np) {
                std::vector<std::uint32_t>* mine = &work.bins[std::size_t(p) * bands];
                for (std::size_t k = triangles * p / np; k < triangles * (p + 1) / np; ++k) {
                    const std::uint32_t* i = work.indices + 3 * k;
                    const ScreenVertex &a = work.screen[i[0]], &b = work.screen[i[1]], &c = work.screen[i[2]];
                    if (a.z < 0 && b.z < 0 && c.z < 0)
                        continue;
                    const auto [first, last] =
                        BandsOf(std::min({a.y, b.y, c.y}) - float(scale), std::max({a.y, b.y, c.y}) + float(scale),
                                bandRows, bands);
                    for (int band = first; band <= last; ++band)
                        mine[band].push_back(std::uint32_t(k));
                }
            });
        }
    }

    const auto& pointClouds = scene.PointClouds();
    clouds.resize(pointClouds.size());
    for (std::size_t c = 0; c < pointClouds.size(); ++c) {
        const PointCloud& cloud = *pointClouds[c];
        CloudWork& work = clouds[c];
        work.sprites.clear();
        for (auto& bin : work.bins)
            bin.clear();
        work.bins.resize(std::size_t(bands));
        if (!cloud.IsVisible())
            continue;
        work.mask = nullptr;
        if (abandoned())
            continue;
        const Vec3* positions = cloud.UnitPositions().data();
        const std::uint32_t* pointColors = cloud.DrawColors().data();
        std::size_t count = cloud.UnitPositions().size();
        const std::size_t budget = o.draft ? kDraftPoints : o.mergeSubpixelCells ? kSettledPoints : 0;
        if (budget > 0 && count > budget) {
            CloudWork::Sample& sample = work.samples[o.draft ? 0 : 1];
            if (sample.of != &cloud || sample.revision != cloud.Revision()) {
                const std::size_t every = (count + budget - 1) / budget;
                sample.positions.clear();
                sample.colors.clear();
                for (std::size_t i = 0; i < count; i += every) {
                    sample.positions.push_back(positions[i]);
                    sample.colors.push_back(pointColors[i]);
                }
                sample.of = &cloud;
                sample.revision = cloud.Revision();
            }
            positions = sample.positions.data();
            pointColors = sample.colors.data();
            count = sample.positions.size();
        }
        const int diameter = cloud.PixelSize() > 0 ? PointDiameterPixels(cloud.PixelSize(), o.devicePixelRatio * scale) : 0;
        // Discs keep their pixels in 16 bits: frames wider or taller than
        // that (only through the API's largest supersampling) draw them as
        // sprites of their size instead.
        if (diameter > 0 && W <= kMaxDiscFrame && H <= kMaxDiscFrame) {
            const raster::DiscMask& mask = Mask(diameter);
            work.mask = &mask;
            for (auto& bin : work.discs)
                bin.size = 0;
            work.discs.resize(std::size_t(parts) * bands);
            const std::size_t n = count;
            // The disc's depth is that of the front of a sphere of its
            // size: radius r pixels is r / PixelsPerUnit(w) = r w / (p5 H / 2)
            // in the cube, which moves the depth by p14 r / (p5 H w) to first order.
            const float radius = 0.5f * float(mask.diameter);
            const float depthPerInvW = -p14 * radius / (vp.projection.m[5] * float(H));
            // In pieces, so that an abandoned frame stops soon.
            constexpr std::size_t kPiece = std::size_t(1) << 18;
            RunParallel(parts, [&](int p, int np) {
                for (std::size_t a = n * p / np, e = n * (p + 1) / np; a < e && !abandoned(); a += kPiece)
                    SplatRange(positions, pointColors, a, std::min(e, a + kPiece), vp,
                           W, H, mask, depthPerInvW, rowOwner.data(), &work.discs[std::size_t(p) * bands]);
            });
            for (const auto& bin : work.discs)
                stats.discs += bin.size;
            stats.discDiameter = std::max(stats.discDiameter, mask.diameter);
            continue;
        }
        work.unitRadius = diameter > 0 ? 0.0f : cloud.UnitRadius();
        for (std::size_t i = 0; i < count; ++i) {
            const Vec3 p = positions[i];
            const Vec3 v = vp.view.TransformPoint(p);
            const float dist = -v.z;
            if (!(dist > vp.zNear) || !(dist < vp.zFar))
                continue;
            float sx, sy;
            if (!vp.Project(p, &sx, &sy))
                continue;
            const float ppu = vp.projection.m[5] * 0.5f * H / dist;
            const float radius = diameter > 0 ? 0.5f * float(diameter) : std::max(work.unitRadius * ppu, 1.2f * scale);
            const Sprite s{sx * W / vp.width, sy * H / vp.height, radius, v.z,
                           pointColors[i] & 0xFFFFFFu};
            const auto [first, last] = BandsOf(s.sy - s.radius - 1, s.sy + s.radius + 1, bandRows, bands);
            for (int band = first; band <= last; ++band)
                work.bins[std::size_t(band)].push_back(std::uint32_t(work.sprites.size()));
            work.sprites.push_back(s);
        }
    }

    water.reset();
    if (scene.WaterLevelEnabled() && scene.HasData()) {
        const DataBounds& b = scene.Bounds();
        const float y = scene.ToUnit(b.min[0], scene.WaterLevelValue(), b.min[2]).y;
        const Vec3 corners[4] = {{-0.5f, y, -0.5f}, {0.5f, y, -0.5f}, {0.5f, y, 0.5f}, {-0.5f, y, 0.5f}};
        std::array<ScreenVertex, 4> v;
        bool ok = true;
        for (int k = 0; k < 4 && ok; ++k) {
            float sx, sy, d;
            ok = vp.Project(corners[k], &sx, &sy, &d);
            v[std::size_t(k)] = {sx * W / vp.width, sy * H / vp.height, d, kWaterRgb};
        }
        if (ok)
            water = v;
    }
}

void SceneRenderer::Impl::DrawBand(int b, const Target& t, bool lighting) const
{
    const int y0 = b * bandRows, y1 = std::min(H, y0 + bandRows);
    for (const SurfaceWork& work : surfaces) {
        if (!work.indices)
            continue;
        for (int q = 0; q < parts; ++q) {
            const std::vector<std::uint32_t>& bin = work.bins[std::size_t(q) * bands + b];
            if (!work.wire) {
                raster::DrawBinned(work.fixed.data(), work.indices, bin, t, rowOwner.data(), std::uint8_t(b));
                continue;
            }
            for (const std::uint32_t k : bin) {
                const std::uint32_t* i = work.indices + 3 * std::size_t(k);
                const ScreenVertex &a = work.screen[i[0]], &bv = work.screen[i[1]], &c = work.screen[i[2]];
                raster::DrawLine(a, bv, scale, 0, t, y0, y1);
                raster::DrawLine(bv, c, scale, 0, t, y0, y1);
                raster::DrawLine(c, a, scale, 0, t, y0, y1);
            }
        }
    }

    for (const CloudWork& cloud : clouds) {
        if (cloud.mask) {
            // Each thread's share in order: the discs are drawn in draw order
            // (which decides ties in depth) for any number of threads.
            for (int q = 0; q < parts; ++q) {
                const DiscBin& bin = cloud.discs[std::size_t(q) * bands + b];
                raster::DrawDiscs(bin.data.get(), bin.size, *cloud.mask, t, y0, y1, lighting);
            }
            continue;
        }
        const LightTerms light;
        for (const std::uint32_t k : cloud.bins[std::size_t(b)]) {
            const Sprite& s = cloud.sprites[k];
            const int ya = std::max(y0, int(std::floor(s.sy - s.radius))), yb = std::min(y1 - 1, int(std::ceil(s.sy + s.radius)));
            const int xa = std::max(0, int(std::floor(s.sx - s.radius))), xb = std::min(t.width - 1, int(std::ceil(s.sx + s.radius)));
            const float inv = 1.0f / s.radius;
            for (int y = ya; y <= yb; ++y)
                for (int x = xa; x <= xb; ++x) {
                    const float dx = (x + 0.5f - s.sx) * inv, dy = (y + 0.5f - s.sy) * inv;
                    const float d2 = dx * dx + dy * dy;
                    if (d2 > 1)
                        continue;
                    const float nz = std::sqrt(1 - d2);
                    const float zv = s.viewZ + nz * cloud.unitRadius;
                    const float depth01 = (p10 * zv + p14) / -zv * 0.5f + 0.5f;
                    const std::ptrdiff_t at = t.Row(y) + x;
                    if (!(depth01 < t.depth[at]))
                        continue;
                    t.depth[at] = depth01;
                    t.pixels[at] = lighting ? light.Shade(s.rgb, Vec3{dx, -dy, nz}) : (s.rgb | 0xFF000000u);
                }
        }
    }

    if (water) {
        const auto& v = *water;
        raster::DrawBlendedTriangle(v[0], v[1], v[2], kWaterAlpha, t, y0, y1);
        raster::DrawBlendedTriangle(v[0], v[2], v[3], kWaterAlpha, t, y0, y1);
        ScreenVertex e[4];
        for (int k = 0; k < 4; ++k)
            e[k] = {v[std::size_t(k)].x, v[std::size_t(k)].y, v[std::size_t(k)].z, kWaterEdgeRgb};
        for (int k = 0; k < 4; ++k)
            raster::DrawLine(e[k], e[(k + 1) % 4], scale, 1e-4f, t, y0, y1);
    }
}

SceneRenderer::SceneRenderer() : m_pImpl(std::make_unique<Impl>()) {}

const RenderStats& SceneRenderer::LastStats() const
{
    return m_pImpl->stats;
}
SceneRenderer::~SceneRenderer() = default;

QImage SceneRenderer::Render(Scene& scene, const OrbitCamera& camera, QSize size, const RenderOptions& options)
{
    return Render(scene, camera.Matrices(size.width(), size.height()), size, options);
}

void SceneRenderer::Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options)
{
    painter.drawImage(0, 0, Render(scene, vp, QSize(vp.width, vp.height), options));
}

namespace {

// Box filter into `rows` rows of `width` pixels at dst (dstStride apart) from
// the rows `scale` times as many and as wide at src (stride apart).
void DownsampleRows(const std::uint32_t* src, std::ptrdiff_t stride, int scale, std::uint32_t* dst,
                    std::ptrdiff_t dstStride, int width, int rows)
{
    const int area = scale * scale;
    for (int y = 0; y < rows; ++y, src += stride * scale, dst += dstStride) {
        if (scale == 2) {
            // Two channels at once: red and blue sums (at most 4 x 255) stay
            // in their own bits 16-25 and 0-9, green in bits 8-17. Rounds as
            // the general loop: (sum + 2) / 4.
            const std::uint32_t* a = src;
            const std::uint32_t* b = src + stride;
            for (int x = 0; x < width; ++x, a += 2, b += 2) {
                const std::uint32_t rb = (a[0] & 0xFF00FFu) + (a[1] & 0xFF00FFu) + (b[0] & 0xFF00FFu) +
                                         (b[1] & 0xFF00FFu) + 0x20002u;
                const std::uint32_t g = (a[0] & 0xFF00u) + (a[1] & 0xFF00u) + (b[0] & 0xFF00u) + (b[1] & 0xFF00u) + 0x200u;
                dst[x] = 0xFF000000u | ((rb >> 2) & 0xFF00FFu) | ((g >> 2) & 0xFF00u);
            }
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::uint32_t r = 0, g = 0, b = 0;
            for (int j = 0; j < scale; ++j) {
                const std::uint32_t* p = src + j * stride + std::ptrdiff_t(x) * scale;
                for (int i = 0; i < scale; ++i) {
                    r += (p[i] >> 16) & 255;
                    g += (p[i] >> 8) & 255;
                    b += p[i] & 255;
                }
            }
            dst[x] = 0xFF000000u | ((r + area / 2) / area) << 16 | ((g + area / 2) / area) << 8 |
                     ((b + area / 2) / area);
        }
    }
}

} // namespace

QImage SceneRenderer::Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options)
{
    scene.Prepare();
    const int scale = std::clamp(options.supersample, 1, 4);
    if (size.isEmpty())
        return {};
    // The last frame's picture is drawn over again once its caller let go of
    // it (as a widget does after painting it): a new one would cost a page
    // fault on every 4 KB of it.
    Impl& impl = *m_pImpl;
    if (impl.picture.size() != size || !impl.picture.isDetached())
        impl.picture = QImage(size, QImage::Format_RGB32);
    QImage& image = impl.picture;
    const std::uint32_t background = ToArgb(options.background);
    std::optional<AxisOverlay> overlay;
    if (options.decorations)
        overlay.emplace(scene, vp);
    const auto abandoned = [&] { return options.abandon && options.abandon->load(std::memory_order_relaxed); };
    impl.Prepare(scene, vp, size.width() * scale, size.height() * scale, scale, options);
    if (abandoned())
        return {};
    const int W = impl.W;
    // Rows are addressed directly: threads write disjoint bands of one image.
    uchar* const bits = image.bits();
    const std::ptrdiff_t bytesPerLine = image.bytesPerLine();
    impl.ForEachBand([&](int part, int b, int y0, int y1) {
        if (abandoned())
            return;
        Target t;
        t.width = W;
        t.height = impl.H;
        t.originY = y0;
        t.depth = impl.Depth(part, y1 - y0);
        // Without supersampling the band is drawn in the picture itself.
        if (scale == 1) {
            t.pixels = reinterpret_cast<std::uint32_t*>(bits + y0 * bytesPerLine);
            t.stride = int(bytesPerLine / 4);
        } else {
            t.pixels = impl.bandColour[std::size_t(part)].get();
            t.stride = W;
        }
        const QSize bandSize(W, y1 - y0);
        {
            QImage band(reinterpret_cast<uchar*>(t.pixels), bandSize.width(), bandSize.height(), t.stride * 4,
                        QImage::Format_RGB32);
            band.fill(background);
            if (overlay) {
                QPainter painter(&band);
                painter.setRenderHint(QPainter::Antialiasing, scale == 1);
                painter.translate(0, -y0);
                painter.scale(scale, scale);
                overlay->DrawBackdrop(painter);
            }
        }
        ClearUpperRegisters(); // after Qt's painting
        impl.DrawBand(b, t, options.lighting);
        if (scale > 1)
            DownsampleRows(t.pixels, t.stride, scale, reinterpret_cast<std::uint32_t*>(bits + (y0 / scale) * bytesPerLine),
                           bytesPerLine / 4, size.width(), (y1 - y0) / scale);
    });
    if (abandoned())
        return {};
    if (overlay && options.frontDecorations) {
        QPainter painter(&image);
        overlay->DrawFront(painter);
    }
    return image;
}

void SceneRenderer::RenderGeometry(Scene& scene, const ViewProjection& vp, QImage& target,
                                   const RenderOptions& options)
{
    scene.Prepare();
    if (target.width() <= 0 || target.height() <= 0)
        return;
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32 &&
        target.format() != QImage::Format_ARGB32_Premultiplied)
        target = target.convertToFormat(QImage::Format_RGB32);
    Impl& impl = *m_pImpl;
    impl.Prepare(scene, vp, target.width(), target.height(), 1, options);
    uchar* const bits = target.bits();
    const std::ptrdiff_t bytesPerLine = target.bytesPerLine();
    impl.ForEachBand([&](int part, int b, int y0, int y1) {
        Target t;
        t.width = impl.W;
        t.height = impl.H;
        t.originY = y0;
        t.stride = int(bytesPerLine / 4);
        t.pixels = reinterpret_cast<std::uint32_t*>(bits + y0 * bytesPerLine);
        t.depth = impl.Depth(part, y1 - y0);
        impl.DrawBand(b, t, options.lighting);
    });
}

} // namespace plot
