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
// OpenGL rendering of the same scene: GlSceneRenderer.h.
#include "plot_control/Camera.h"
#include "plot_control/Scene.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <atomic>
#include <vector>

namespace plot {

struct RenderOptions {
    int supersample = 2;      // 1 (no antialiasing) to 4
    int threads = 0;          // 0 = up to two (the hardware's count, at most 2)
    // The frame is drawn in bands of this many rows of the supersampled
    // picture (0 = about a sixteenth of it). The 3-D part of the picture does
    // not depend on it; the axis walls' grid lines, painted band by band, may
    // move by a supersampled pixel.
    int bandRows = 0;
    bool lighting = true;     // false: flat vertex colours, for exact image tests
    bool decorations = true;  // axis box, grid, ticks, labels, titles, marker
    // Draw dense grid surfaces from a coarser level where their cells are
    // smaller than pixels (ridges and colour details keep full detail).
    bool levelOfDetail = true;
    // A frame drawn while the view moves: grid surfaces from the level their
    // on-screen cell size allows whatever their height noise, point clouds
    // from a subsample.
    bool draft = false;
    // A draft whose level of a surface is not built yet takes a coarser one
    // built already, unless this is set (the one wanted is built then).
    bool buildLevels = false;
    // A draft that would first have to build a large surface's level (new
    // data: hundreds of milliseconds) leaves that surface out instead and
    // says so in RenderStats::levelsDeferred; the caller shows what it had
    // while another thread builds the level.
    bool deferLevels = false;
    // Grid surfaces whose cells are under a couple of pixels on screen are
    // drawn from a level that merges them whatever their noise (the chart
    // control's settled frames); otherwise only smooth regions coarsen.
    bool mergeSubpixelCells = false;
    // Polled between the frame's steps and bands: once set, Render stops
    // and returns a null image (a frame drawn on another thread that is no
    // longer wanted).
    const std::atomic<bool>* abandon = nullptr;
    QColor background = QColor(255, 255, 255);
    // Pixels of the target per device-independent pixel: pixel-sized points
    // are drawn this many times (and the supersampling's times) their size.
    // 1 for a picture painted at the widget's logical size.
    double devicePixelRatio = 1.0;
    // false: the walls and grid are drawn but not the axes, labels, colour bar,
    // legend and marker, for callers that paint those themselves (as vectors).
    bool frontDecorations = true;
};

// Colours of the water plane (blended over the scene) and its outline.
inline constexpr unsigned kWaterRgb = 0x2F7FD0;
inline constexpr float kWaterAlpha = 0.38f;
inline constexpr unsigned kWaterEdgeRgb = 0x1F5C9E;

// What the last software frame drew, for benchmarks and tests.
struct RenderStats {
    std::size_t triangles = 0; // surface triangles handed to the rasterizer
    int coarsestStep = 1;      // grid step of the coarsest surface level drawn (1 = full detail)
    std::size_t discs = 0;     // discs of pixel-sized points handed to the bands (one per band reached)
    int discDiameter = 0;      // the largest disc diameter drawn, pixels of the (supersampled) frame
    bool levelsDeferred = false; // a surface left out (RenderOptions::deferLevels)
};

class SceneRenderer {
public:
    SceneRenderer();
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // Renders into a new image of the given size (QImage::Format_RGB32).
    QImage Render(Scene& scene, const OrbitCamera& camera, QSize size, const RenderOptions& options = {});
    // The same with explicit matrices (their viewport must equal size).
    QImage Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options = {});

    // Only the 3-D part (no decorations, no supersampling) into an existing
    // RGB32 image, against a depth buffer cleared here. For benchmarks and
    // callers that paint their own background.
    void RenderGeometry(Scene& scene, const ViewProjection& vp, QImage& target, const RenderOptions& options = {});

    const RenderStats& LastStats() const;

private:
    struct Impl;
    Impl* m_pImpl;
};

// Tick positions at round numbers (steps 1, 2 or 5 times a power of ten)
// within [min, max], at most maxCount of them (and at least two when the
// range allows).
std::vector<double> NiceTicks(double min, double max, int maxCount);

} // namespace plot
