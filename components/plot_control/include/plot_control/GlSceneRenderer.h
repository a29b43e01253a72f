#pragma once
// OpenGL back end for the chart scene: draws the same geometry, lighting,
// water plane and sprites as the software renderer, with the decorations
// painted by QPainter before and after the GL part.
#include "plot_control/SceneRenderer.h"

#include <QString>

#include <cstdint>
#include <memory>

class QPainter;

namespace plot {

class GlSceneRenderer {
public:
    GlSceneRenderer();
    ~GlSceneRenderer(); // call ReleaseResources with the context current before
    GlSceneRenderer(const GlSceneRenderer&) = delete;
    GlSceneRenderer& operator=(const GlSceneRenderer&) = delete;

    // With a current context: compiles the shaders; false when they fail.
    bool Initialize(QString* error = nullptr);
    // Paints the whole chart on a painter that draws into the current GL
    // context (a QOpenGLWidget or a QOpenGLPaintDevice) of vp's size.
    void Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options = {});
    void ReleaseResources();
    // Series uploaded so far (vertex buffers filled); a frame of an unchanged
    // scene uploads nothing.
    std::uint64_t Uploads() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

// Renders into an image through an offscreen OpenGL context and a
// multisampled framebuffer. A null image (and *error) when no context can be
// created.
QImage RenderOpenGLToImage(Scene& scene, const OrbitCamera& camera, QSize size, const RenderOptions& options = {},
                           QString* error = nullptr);

} // namespace plot
