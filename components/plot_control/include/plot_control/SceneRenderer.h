#pragma once
// Offscreen rendering of a chart scene, usable without any window (batch
// tools, tests, the chart control's software back end).
//
//   QGuiApplication app(argc, argv);          // needed for text (fonts)
//   plot::Scene scene;
//   scene.AddSurface()->SetData(vertices, n, indices, m);
//   scene.SetAxisTitles(L"ctrl:Kp", L"overshoot", L"ctrl:Ki");
//   plot::OrbitCamera camera;                  // default view
//   plot::SceneRenderer renderer;              // keep it to reuse its buffers
//   QImage image = renderer.Render(scene, camera, QSize(1280, 800));
//   image.save("chart.png");
//
// The software renderer is a z-buffered, edge-function rasterizer with
// Gouraud shading (see Lighting.h) that draws the frame in bands of rows,
// with pixel-sized points stamped as shaded discs from a mask per size,
// shared by up to two threads; antialiasing comes from rendering at
// supersample x the size and averaging, band by band. The axis box, grid, ticks, labels, titles and the picked-point
// marker are drawn with QPainter in screen space, so text stays upright.
// OpenGL rendering of the same scene: GlSceneRenderer.h; what both offer:
// Renderer.h.
#include "plot_control/Renderer.h"

#include <memory>

namespace plot {

// What the last software frame drew, for benchmarks and tests.
struct RenderStats {
    std::size_t triangles = 0; // surface triangles handed to the rasterizer
    int coarsestStep = 1;      // grid step of the coarsest surface level drawn (1 = full detail)
    std::size_t discs = 0;     // discs of pixel-sized points handed to the bands (one per band reached)
    int discDiameter = 0;      // the largest disc diameter drawn, pixels of the (supersampled) frame
    bool levelsDeferred = false; // a surface left out (RenderOptions::deferLevels)
};

class SceneRenderer final : public Renderer {
public:
    SceneRenderer();
    ~SceneRenderer() override;
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // Renders into a new image of the given size (QImage::Format_RGB32).
    QImage Render(Scene& scene, const OrbitCamera& camera, QSize size, const RenderOptions& options = {});
    // The same with explicit matrices (their viewport must equal size).
    QImage Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options = {}) override;
    // The rendered image drawn at the painter's origin.
    void Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options = {}) override;

    // Only the 3-D part (no decorations, no supersampling) into an existing
    // RGB32 image, against a depth buffer cleared here. For benchmarks and
    // callers that paint their own background.
    void RenderGeometry(Scene& scene, const ViewProjection& vp, QImage& target, const RenderOptions& options = {});

    const RenderStats& LastStats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

} // namespace plot
