#pragma once
// OpenGL back end for the chart scene: draws the same geometry, lighting,
// water plane and sprites as the software renderer, with the decorations
// painted by QPainter before and after the GL part. A library of its own, so
// that programs drawing only in software do not link Qt's OpenGL module.
#include "plot_control/Renderer.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace plot {

class GlSceneRenderer final : public Renderer {
public:
    GlSceneRenderer();
    ~GlSceneRenderer() override; // call ReleaseResources with the context current before
    GlSceneRenderer(const GlSceneRenderer&) = delete;
    GlSceneRenderer& operator=(const GlSceneRenderer&) = delete;

    // With a current context: compiles the shaders; false when they fail.
    bool Initialize(QString* error = nullptr);
    // Paints the whole chart on a painter that draws into the current GL
    // context (a QOpenGLWidget or a QOpenGLPaintDevice) of vp's size.
    void Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options = {}) override;
    // Needs no current context: draws through an offscreen one of its own
    // (RenderOpenGLToImage), leaving this renderer's resources alone.
    QImage Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options = {}) override;
    void ReleaseResources();
    // Series uploaded so far (vertex buffers filled); a frame of an unchanged
    // scene uploads nothing.
    std::uint64_t Uploads() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

// Renders into an image through an offscreen OpenGL context and a
// multisampled framebuffer. A null image (and *error) when no context can be
// created.
QImage RenderOpenGLToImage(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options = {},
                           QString* error = nullptr);
inline QImage RenderOpenGLToImage(Scene& scene, const OrbitCamera& camera, QSize size,
                                  const RenderOptions& options = {}, QString* error = nullptr)
{
    return RenderOpenGLToImage(scene, camera.Matrices(size.width(), size.height()), size, options, error);
}

} // namespace plot
