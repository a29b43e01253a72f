#pragma once
// What the chart control and the picture code need of a back end that draws a
// chart scene. Two implement it, each in a library of its own: the software
// renderer (SceneRenderer.h), which needs no window and draws every picture
// written to a file, and OpenGL (GlSceneRenderer.h), which the control's
// widget may use on a machine with a GPU.
#include "plot_control/Camera.h"
#include "plot_control/Scene.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <atomic>
#include <cstdint>

class QPainter;

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

class Renderer {
public:
    virtual ~Renderer() = default;

    // The chart seen through vp (whose viewport must equal size) in a new
    // RGB32 image; a null image when the frame is abandoned or the back end
    // cannot draw here.
    virtual QImage Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options = {}) = 0;
    // The whole chart painted on painter, whose device has vp's size. OpenGL
    // needs the painter to draw into the context the back end was set up in.
    virtual void Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options = {}) = 0;
    // Series data handed to a device so far; a frame of an unchanged scene
    // hands none. Software keeps none: 0.
    virtual std::uint64_t Uploads() const { return 0; }

protected:
    Renderer() = default;
    Renderer(const Renderer&) = default;
    Renderer& operator=(const Renderer&) = default;
};

} // namespace plot
