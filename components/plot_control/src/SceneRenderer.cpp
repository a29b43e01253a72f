#include "plot_control/SceneRenderer.h"

#include "AxisOverlay.h"
#include "SoftwareRasterizer.h"
#include "SurfaceLod.h"
#include "plot_control/Lighting.h"

#include <QPainter>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

namespace plot {

using raster::ScreenVertex;
using raster::Target;

namespace {

// Runs job(part, parts) on `parts` threads (the caller's included).
void RunParallel(int parts, const std::function<void(int, int)>& job)
{
    if (parts <= 1) {
        job(0, 1);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(parts - 1);
    for (int p = 1; p < parts; ++p)
        helpers.emplace_back(job, p, parts);
    job(0, parts);
    for (auto& t : helpers)
        t.join();
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
        const float cx = m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12];
        const float cy = m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13];
        const float cz = m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14];
        const float cw = m[3] * p.x + m[7] * p.y + m[11] * p.z + m[15];
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

// Level of detail: a grid-shaped surface is drawn from a coarser level when
// its cells are smaller than pixels. The step is the largest power of two
// that keeps a coarse cell within kLodCellPixels pixels of the output image
// (not of the supersampled one) where the surface is nearest to the eye, so
// coarse triangles still cover about a pixel or more.
constexpr float kLodCellPixels = 2.0f;
constexpr std::size_t kLodMinTriangles = 32768;

const LodLevel* ChooseLevel(const SurfaceMesh& mesh, const ViewProjection& vp, const RenderOptions& o)
{
    if (!o.levelOfDetail || mesh.TriangleCount() < kLodMinTriangles)
        return nullptr;
    SurfaceLod& lod = mesh.LevelOfDetail();
    if (!lod.IsGrid())
        return nullptr;
    const Vec3 lo = lod.Min(), hi = lod.Max();
    float nearest = vp.zFar;
    for (int k = 0; k < 8; ++k) {
        const Vec3 c{k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z};
        nearest = std::min(nearest, -vp.view.TransformPoint(c).z);
    }
    const float cellPixels = lod.CellSize() * vp.PixelsPerUnit(std::max(nearest, vp.zNear));
    int step = 1;
    while (step < 1024 && float(step * 2) * cellPixels <= kLodCellPixels)
        step *= 2;
    for (; step >= 2; step /= 2)
        if (const LodLevel* level = lod.Level(mesh, step))
            return level;
    return nullptr;
}

std::uint32_t ToArgb(const QColor& c)
{
    return 0xFF000000u | (std::uint32_t(c.red()) << 16) | (std::uint32_t(c.green()) << 8) | std::uint32_t(c.blue());
}

} // namespace

struct SceneRenderer::Impl {
    std::unique_ptr<float[]> depth;
    std::size_t depthSize = 0;
    std::vector<ScreenVertex> screen;
    std::vector<raster::FixedVertex> fixed;
    std::vector<std::uint8_t> rowOwner;
    std::vector<std::vector<std::uint32_t>> bins; // [producer * parts + owner]
    RenderStats stats;

    void Geometry(Scene& scene, const ViewProjection& vp, QImage& image, int scale, const RenderOptions& o);
    void Sprites(const PointCloud& cloud, const ViewProjection& vp, const Target& t, int scale, bool lighting,
                 int parts);
    void Water(const Scene& scene, const ViewProjection& vp, const Target& t, int scale, int parts);
};

namespace {

// Bands of surface rows for several threads: about kBands of them, at
// least kMinBandRows tall.
constexpr int kBands = 16;
constexpr int kMinBandRows = 32;

int PartsFor(const RenderOptions& o)
{
    if (o.threads > 0)
        return std::clamp(o.threads, 1, 8);
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 2);
}

// The band of rows part `p` of `parts` draws.
std::pair<int, int> Band(int height, int p, int parts)
{
    return {height * p / parts, height * (p + 1) / parts};
}

} // namespace

void SceneRenderer::Impl::Geometry(Scene& scene, const ViewProjection& vp, QImage& image, int scale,
                                   const RenderOptions& o)
{
    const int W = image.width(), H = image.height();
    const int parts = PartsFor(o);
    stats = {};
    // Not value-initialised: the bands below write every element, and a
    // fresh buffer is then touched first by the thread that uses it.
    if (depthSize < std::size_t(W) * H) {
        depth = std::make_unique_for_overwrite<float[]>(std::size_t(W) * H);
        depthSize = std::size_t(W) * H;
    }
    RunParallel(parts, [&](int p, int np) {
        const auto [y0, y1] = Band(H, p, np);
        std::fill(depth.get() + std::ptrdiff_t(y0) * W, depth.get() + std::ptrdiff_t(y1) * W, 1.0f);
    });
    Target t;
    t.pixels = reinterpret_cast<std::uint32_t*>(image.bits());
    t.depth = depth.get();
    t.width = W;
    t.height = H;
    t.stride = int(image.bytesPerLine() / 4);
    // Surface triangles are drawn in bands of rows, which the threads take
    // in turn as they finish (where the surface lies decides the work of a
    // band). Bands are tall against the slivers of a dense surface, whose
    // triangles would otherwise be set up once per band they reach.
    const int bandRows = std::max(kMinBandRows, (H + kBands - 1) / kBands);
    const int bands = parts == 1 ? 1 : (H + bandRows - 1) / bandRows;
    rowOwner.resize(std::size_t(H));
    for (int y = 0; y < H; ++y)
        rowOwner[std::size_t(y)] = std::uint8_t(parts == 1 ? 0 : y / bandRows);

    // The view matrices are those of the output image; the target may be supersampled.
    const int sw = W, sh = H;
    for (const auto& mesh : scene.Surfaces()) {
        if (!mesh->IsVisible() || mesh->TriangleCount() == 0)
            continue;
        const std::uint32_t* idx = mesh->Indices().data();
        if (!scene.WireFrame()) {
            const LodLevel* level = ChooseLevel(*mesh, vp, o);
            const Vec3* pos = level ? level->positions.data() : mesh->UnitPositions().data();
            const Vec3* normals = level ? level->normals.data() : mesh->Normals().data();
            const std::uint32_t* colors = level ? level->colors.data() : &mesh->Vertices().data()->color;
            const std::size_t stride = level ? 1 : sizeof(SurfaceVertex) / sizeof(std::uint32_t);
            const std::size_t n = level ? level->positions.size() : mesh->Vertices().size();
            const std::uint32_t* indices = level ? level->indices.data() : idx;
            const std::size_t triangles = level ? level->indices.size() / 3 : mesh->TriangleCount();
            fixed.resize(n);
            stats.triangles += triangles;
            stats.coarsestStep = std::max(stats.coarsestStep, level ? level->step : 1);
            RunParallel(parts, [&](int p, int np) {
                TransformRange(pos, normals, colors, stride, n * p / np, n * (p + 1) / np, vp, sw, sh, o.lighting,
                               fixed.data());
            });
            if (parts == 1) {
                raster::DrawTriangles(fixed.data(), indices, triangles, t, rowOwner.data(), 0);
                continue;
            }
            // Each thread sorts its share of the triangles into per-band
            // bins; then the threads take bands, each drawing a band's rows
            // from every share in order, so the picture equals the
            // one-thread picture.
            bins.resize(std::size_t(parts) * bands);
            RunParallel(parts, [&](int p, int np) {
                std::vector<std::uint32_t>* mine = &bins[std::size_t(p) * bands];
                for (int b = 0; b < bands; ++b)
                    mine[b].clear();
                raster::BinTriangles(fixed.data(), indices, triangles * p / np, triangles * (p + 1) / np, t,
                                     rowOwner.data(), bands, mine);
            });
            std::atomic<int> nextBand{0};
            RunParallel(parts, [&](int, int np) {
                for (int b; (b = nextBand.fetch_add(1, std::memory_order_relaxed)) < bands;)
                    for (int q = 0; q < np; ++q)
                        raster::DrawBinned(fixed.data(), indices, bins[std::size_t(q) * bands + b], t,
                                           rowOwner.data(), std::uint8_t(b));
            });
        } else {
            const std::size_t n = mesh->Vertices().size();
            const std::size_t triangles = mesh->TriangleCount();
            screen.resize(n);
            stats.triangles += triangles;
            RunParallel(parts, [&](int p, int np) {
                TransformRange(mesh->UnitPositions().data(), mesh->Normals().data(), &mesh->Vertices().data()->color,
                               sizeof(SurfaceVertex) / sizeof(std::uint32_t), n * p / np, n * (p + 1) / np, vp, sw,
                               sh, o.lighting, screen.data());
            });
            RunParallel(parts, [&](int p, int np) {
                const auto [y0, y1] = Band(H, p, np);
                for (std::size_t k = 0; k < triangles; ++k) {
                    const ScreenVertex &a = screen[idx[3 * k]], &b = screen[idx[3 * k + 1]],
                                       &c = screen[idx[3 * k + 2]];
                    raster::DrawLine(a, b, scale, 0, t, y0, y1);
                    raster::DrawLine(b, c, scale, 0, t, y0, y1);
                    raster::DrawLine(c, a, scale, 0, t, y0, y1);
                }
            });
        }
    }
    for (const auto& cloud : scene.PointClouds())
        if (cloud->IsVisible() && !cloud->Points().empty())
            Sprites(*cloud, vp, t, scale, o.lighting, parts);
    if (scene.WaterLevelEnabled() && scene.HasData())
        Water(scene, vp, t, scale, parts);
}

void SceneRenderer::Impl::Sprites(const PointCloud& cloud, const ViewProjection& vp, const Target& t, int scale,
                                  bool lighting, int parts)
{
    struct Sprite {
        float sx, sy, radius, viewZ;
        std::uint32_t rgb;
    };
    std::vector<Sprite> sprites;
    sprites.reserve(cloud.Points().size());
    const float unitRadius = cloud.UnitRadius();
    for (std::size_t i = 0; i < cloud.Points().size(); ++i) {
        const Vec3 p = cloud.UnitPositions()[i];
        const Vec3 v = vp.view.TransformPoint(p);
        const float dist = -v.z;
        if (!(dist > vp.zNear) || !(dist < vp.zFar))
            continue;
        float sx, sy;
        if (!vp.Project(p, &sx, &sy))
            continue;
        const float ppu = vp.projection.m[5] * 0.5f * t.height / dist;
        sprites.push_back({sx * t.width / vp.width, sy * t.height / vp.height,
                           std::max(unitRadius * ppu, 1.2f * scale), v.z, cloud.Points()[i].color & 0xFFFFFFu});
    }
    const float p10 = vp.projection.m[10], p14 = vp.projection.m[14];
    const LightTerms light;
    RunParallel(parts, [&](int part, int np) {
        const auto [y0, y1] = Band(t.height, part, np);
        for (const Sprite& s : sprites) {
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
                    const float zv = s.viewZ + nz * unitRadius;
                    const float depth01 = (p10 * zv + p14) / -zv * 0.5f + 0.5f;
                    const std::ptrdiff_t at = std::ptrdiff_t(y) * t.stride + x;
                    if (!(depth01 < t.depth[at]))
                        continue;
                    t.depth[at] = depth01;
                    t.pixels[at] = lighting ? light.Shade(s.rgb, Vec3{dx, -dy, nz}) : (s.rgb | 0xFF000000u);
                }
        }
    });
}

void SceneRenderer::Impl::Water(const Scene& scene, const ViewProjection& vp, const Target& t, int scale, int parts)
{
    const DataBounds& b = scene.Bounds();
    const float y = scene.ToUnit(b.min[0], scene.WaterLevelValue(), b.min[2]).y;
    const Vec3 corners[4] = {{-0.5f, y, -0.5f}, {0.5f, y, -0.5f}, {0.5f, y, 0.5f}, {-0.5f, y, 0.5f}};
    ScreenVertex v[4];
    for (int k = 0; k < 4; ++k) {
        float sx, sy, d;
        if (!vp.Project(corners[k], &sx, &sy, &d))
            return;
        v[k] = {sx * t.width / vp.width, sy * t.height / vp.height, d, kWaterRgb};
    }
    RunParallel(parts, [&](int p, int np) {
        const auto [y0, y1] = Band(t.height, p, np);
        raster::DrawBlendedTriangle(v[0], v[1], v[2], kWaterAlpha, t, y0, y1);
        raster::DrawBlendedTriangle(v[0], v[2], v[3], kWaterAlpha, t, y0, y1);
        ScreenVertex e[4];
        for (int k = 0; k < 4; ++k)
            e[k] = {v[k].x, v[k].y, v[k].z, kWaterEdgeRgb};
        for (int k = 0; k < 4; ++k)
            raster::DrawLine(e[k], e[(k + 1) % 4], scale, 1e-4f, t, y0, y1);
    });
}

SceneRenderer::SceneRenderer() : m_pImpl(new Impl) {}

const RenderStats& SceneRenderer::LastStats() const
{
    return m_pImpl->stats;
}
SceneRenderer::~SceneRenderer() { delete m_pImpl; }

QImage SceneRenderer::Render(Scene& scene, const OrbitCamera& camera, QSize size, const RenderOptions& options)
{
    return Render(scene, camera.Matrices(size.width(), size.height()), size, options);
}

namespace {

// Box filter from an image `scale` times larger in each direction.
QImage Downsample(const QImage& big, int scale, QSize size, int parts)
{
    QImage out(size, QImage::Format_RGB32);
    const int area = scale * scale;
    if (scale == 2) {
        // The common case, two channels at once: red and blue sums (at most
        // 4 x 255) stay in their own bits 16-25 and 0-9, green in bits 8-17.
        // Rounds as the general loop: (sum + 2) / 4.
        RunParallel(parts, [&](int p, int np) {
            const auto [y0, y1] = Band(size.height(), p, np);
            for (int y = y0; y < y1; ++y) {
                auto* dst = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
                const auto* a = reinterpret_cast<const std::uint32_t*>(big.constScanLine(2 * y));
                const auto* b = reinterpret_cast<const std::uint32_t*>(big.constScanLine(2 * y + 1));
                for (int x = 0; x < size.width(); ++x, a += 2, b += 2) {
                    const std::uint32_t rb = (a[0] & 0xFF00FFu) + (a[1] & 0xFF00FFu) + (b[0] & 0xFF00FFu) +
                                             (b[1] & 0xFF00FFu) + 0x20002u;
                    const std::uint32_t g =
                        (a[0] & 0xFF00u) + (a[1] & 0xFF00u) + (b[0] & 0xFF00u) + (b[1] & 0xFF00u) + 0x200u;
                    dst[x] = 0xFF000000u | ((rb >> 2) & 0xFF00FFu) | ((g >> 2) & 0xFF00u);
                }
            }
        });
        return out;
    }
    RunParallel(parts, [&](int p, int np) {
        const auto [y0, y1] = Band(size.height(), p, np);
        for (int y = y0; y < y1; ++y) {
            auto* dst = reinterpret_cast<std::uint32_t*>(out.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                std::uint32_t r = 0, g = 0, b = 0;
                for (int j = 0; j < scale; ++j) {
                    const auto* src = reinterpret_cast<const std::uint32_t*>(big.constScanLine(y * scale + j)) + x * scale;
                    for (int i = 0; i < scale; ++i) {
                        r += (src[i] >> 16) & 255;
                        g += (src[i] >> 8) & 255;
                        b += src[i] & 255;
                    }
                }
                dst[x] = 0xFF000000u | ((r + area / 2) / area) << 16 | ((g + area / 2) / area) << 8 |
                         ((b + area / 2) / area);
            }
        }
    });
    return out;
}

} // namespace

QImage SceneRenderer::Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options)
{
    scene.Prepare();
    const int scale = std::clamp(options.supersample, 1, 4);
    if (size.isEmpty())
        return {};
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(ToArgb(options.background));
    std::optional<AxisOverlay> overlay;
    if (options.decorations) {
        overlay.emplace(scene, vp);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, scale == 1);
        painter.scale(scale, scale);
        overlay->DrawBackdrop(painter);
    }
    m_pImpl->Geometry(scene, vp, image, scale, options);
    if (scale > 1)
        image = Downsample(image, scale, size, PartsFor(options));
    if (overlay) {
        QPainter painter(&image);
        overlay->DrawFront(painter);
    }
    return image;
}

void SceneRenderer::RenderGeometry(Scene& scene, const ViewProjection& vp, QImage& target,
                                   const RenderOptions& options)
{
    scene.Prepare();
    if (target.format() != QImage::Format_RGB32 && target.format() != QImage::Format_ARGB32 &&
        target.format() != QImage::Format_ARGB32_Premultiplied)
        target = target.convertToFormat(QImage::Format_RGB32);
    m_pImpl->Geometry(scene, vp, target, 1, options);
}

} // namespace plot
