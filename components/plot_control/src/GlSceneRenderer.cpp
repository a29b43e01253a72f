#include "plot_control/GlSceneRenderer.h"

#include "AxisOverlay.h"
#include "plot_control/Lighting.h"

#include <QOffscreenSurface>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QOpenGLShaderProgram>
#include <QPainter>

#include <map>

namespace plot {

namespace {

// Desktop GL enums outside the ES 2 subset QOpenGLFunctions declares.
constexpr GLenum kProgramPointSize = 0x8642;
constexpr GLenum kPointSprite = 0x8861;
constexpr GLenum kMultisample = 0x809D;

const char* const kMeshVertex = R"(
#version 120
attribute vec3 aPos;
attribute vec3 aNormal;
attribute vec3 aColor;
uniform mat4 uViewProj;
uniform mat3 uViewRot;
uniform vec3 uLight;
uniform vec3 uHalf;
uniform vec3 uTerms; // ambient, diffuse, specular
uniform bool uLighting;
varying vec3 vColor;
void main()
{
    gl_Position = uViewProj * vec4(aPos, 1.0);
    vec3 c = aColor;
    if (uLighting) {
        vec3 n = uViewRot * aNormal;
        if (n.z < 0.0)
            n = -n;
        float d = max(dot(n, uLight), 0.0);
        float s = pow(max(dot(n, uHalf), 0.0), 32.0);
        c = c * (uTerms.x + uTerms.y * d) + vec3(uTerms.z * s);
    }
    vColor = clamp(c, 0.0, 1.0);
}
)";

const char* const kColorFragment = R"(
#version 120
varying vec3 vColor;
void main() { gl_FragColor = vec4(vColor, 1.0); }
)";

const char* const kFlatVertex = R"(
#version 120
attribute vec3 aPos;
uniform mat4 uViewProj;
void main() { gl_Position = uViewProj * vec4(aPos, 1.0); }
)";

const char* const kFlatFragment = R"(
#version 120
uniform vec4 uColor;
void main() { gl_FragColor = uColor; }
)";

const char* const kSpriteVertex = R"(
#version 120
attribute vec3 aPos;
attribute vec3 aColor;
uniform mat4 uViewProj;
uniform mat4 uView;
uniform float uRadius;     // unit cube
uniform float uPixelScale; // pixels per unit at view distance 1
uniform float uMinRadius;  // pixels
varying vec3 vColor;
varying float vViewZ;
void main()
{
    vec4 v = uView * vec4(aPos, 1.0);
    gl_Position = uViewProj * vec4(aPos, 1.0);
    gl_PointSize = 2.0 * max(uRadius * uPixelScale / -v.z, uMinRadius);
    vColor = aColor;
    vViewZ = v.z;
}
)";

const char* const kSpriteFragment = R"(
#version 120
uniform mat4 uProj;
uniform float uRadius;
uniform vec3 uLight;
uniform vec3 uHalf;
uniform vec3 uTerms;
uniform bool uLighting;
varying vec3 vColor;
varying float vViewZ;
void main()
{
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    float d2 = dot(d, d);
    if (d2 > 1.0)
        discard;
    float nz = sqrt(1.0 - d2);
    vec3 n = vec3(d.x, -d.y, nz);
    vec3 c = vColor;
    if (uLighting) {
        float l = max(dot(n, uLight), 0.0);
        float s = pow(max(dot(n, uHalf), 0.0), 32.0);
        c = c * (uTerms.x + uTerms.y * l) + vec3(uTerms.z * s);
    }
    gl_FragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
    float zv = vViewZ + nz * uRadius;
    gl_FragDepth = (uProj[2][2] * zv + uProj[3][2]) / -zv * 0.5 + 0.5;
}
)";

// Pixel-sized points: discs of a fixed diameter in framebuffer pixels, at
// the depth of the front of a sphere of that size (as the software renderer).
const char* const kDiscVertex = R"(
#version 120
attribute vec3 aPos;
attribute vec3 aColor;
uniform mat4 uViewProj;
uniform mat4 uView;
uniform mat4 uProj;
uniform float uDiameter;   // framebuffer pixels
uniform float uPixelScale; // pixels per unit at view distance 1
varying vec3 vColor;
void main()
{
    vec4 v = uView * vec4(aPos, 1.0);
    gl_Position = uViewProj * vec4(aPos, 1.0);
    float zv = v.z + 0.5 * uDiameter * -v.z / uPixelScale;
    gl_Position.z = (uProj[2][2] * zv + uProj[3][2]) / -zv * gl_Position.w;
    gl_PointSize = uDiameter;
    vColor = aColor;
}
)";

const char* const kDiscFragment = R"(
#version 120
uniform vec3 uLight;
uniform vec3 uHalf;
uniform vec3 uTerms;
uniform bool uLighting;
varying vec3 vColor;
void main()
{
    vec2 d = gl_PointCoord * 2.0 - 1.0;
    float d2 = dot(d, d);
    if (d2 > 1.000001)
        discard;
    vec3 c = vColor;
    if (uLighting) {
        vec3 n = vec3(d.x, -d.y, sqrt(max(1.0 - d2, 0.0)));
        float l = max(dot(n, uLight), 0.0);
        float s = pow(max(dot(n, uHalf), 0.0), 32.0);
        c = c * (uTerms.x + uTerms.y * l) + vec3(uTerms.z * s);
    }
    gl_FragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
)";

struct GpuVertex {
    float pos[3];
    float normal[3];
    std::uint8_t color[4];
};

} // namespace

struct GlSceneRenderer::Impl : protected QOpenGLFunctions {
    struct MeshBuffers {
        std::weak_ptr<SurfaceMesh> mesh;
        std::uint64_t revision = 0;
        QOpenGLBuffer vertices{QOpenGLBuffer::VertexBuffer};
        QOpenGLBuffer triangles{QOpenGLBuffer::IndexBuffer};
        QOpenGLBuffer lines{QOpenGLBuffer::IndexBuffer};
        GLsizei triangleIndices = 0;
        GLsizei lineIndices = 0;
    };
    struct PointBuffers {
        std::weak_ptr<PointCloud> cloud;
        std::uint64_t revision = 0;
        QOpenGLBuffer vertices{QOpenGLBuffer::VertexBuffer};
        GLsizei count = 0;
    };

    QOpenGLShaderProgram mesh, flat, sprite, disc;
    std::map<const SurfaceMesh*, std::unique_ptr<MeshBuffers>> meshBuffers;
    std::map<const PointCloud*, std::unique_ptr<PointBuffers>> pointBuffers;
    bool ready = false;
    std::uint64_t uploads = 0;

    bool Initialize(QString* error)
    {
        initializeOpenGLFunctions();
        const auto build = [&](QOpenGLShaderProgram& p, const char* vs, const char* fs) {
            if (p.addShaderFromSourceCode(QOpenGLShader::Vertex, vs) &&
                p.addShaderFromSourceCode(QOpenGLShader::Fragment, fs) && p.link())
                return true;
            if (error)
                *error = p.log();
            return false;
        };
        ready = build(mesh, kMeshVertex, kColorFragment) && build(flat, kFlatVertex, kFlatFragment) &&
                build(sprite, kSpriteVertex, kSpriteFragment) && build(disc, kDiscVertex, kDiscFragment);
        return ready;
    }

    MeshBuffers& Upload(const std::shared_ptr<SurfaceMesh>& m, bool wire)
    {
        auto& slot = meshBuffers[m.get()];
        if (!slot || slot->mesh.lock() != m)
            slot = std::make_unique<MeshBuffers>();
        MeshBuffers& b = *slot;
        if (b.revision != m->Revision() || !b.vertices.isCreated()) {
            b.mesh = m;
            b.revision = m->Revision();
            std::vector<GpuVertex> data(m->Vertices().size());
            const ColorView colors = m->Colors();
            for (std::size_t i = 0; i < data.size(); ++i) {
                const Vec3 p = m->UnitPositions()[i], n = m->Normals()[i];
                const std::uint32_t c = colors[i];
                data[i] = {{p.x, p.y, p.z}, {n.x, n.y, n.z},
                           {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 255}};
            }
            if (!b.vertices.isCreated())
                b.vertices.create();
            b.vertices.bind();
            b.vertices.allocate(data.data(), int(data.size() * sizeof(GpuVertex)));
            ++uploads;
            if (!b.triangles.isCreated())
                b.triangles.create();
            b.triangles.bind();
            b.triangles.allocate(m->Indices().data(), int(m->Indices().size() * sizeof(std::uint32_t)));
            b.triangleIndices = GLsizei(m->Indices().size());
            b.lineIndices = 0; // rebuilt on demand
        }
        if (wire && b.lineIndices == 0 && b.triangleIndices > 0) {
            const auto& idx = m->Indices();
            std::vector<std::uint32_t> lines;
            lines.reserve(idx.size() * 2);
            for (std::size_t k = 0; k < idx.size(); k += 3)
                for (int e = 0; e < 3; ++e) {
                    lines.push_back(idx[k + e]);
                    lines.push_back(idx[k + (e + 1) % 3]);
                }
            if (!b.lines.isCreated())
                b.lines.create();
            b.lines.bind();
            b.lines.allocate(lines.data(), int(lines.size() * sizeof(std::uint32_t)));
            b.lineIndices = GLsizei(lines.size());
        }
        return b;
    }

    PointBuffers& Upload(const std::shared_ptr<PointCloud>& c)
    {
        auto& slot = pointBuffers[c.get()];
        if (!slot || slot->cloud.lock() != c)
            slot = std::make_unique<PointBuffers>();
        PointBuffers& b = *slot;
        if (b.revision != c->Revision() || !b.vertices.isCreated()) {
            b.cloud = c;
            b.revision = c->Revision();
            std::vector<GpuVertex> data(c->Points().size());
            const std::vector<std::uint32_t>& colors = c->DrawColors();
            for (std::size_t i = 0; i < data.size(); ++i) {
                const Vec3 p = c->UnitPositions()[i];
                const std::uint32_t col = colors[i];
                data[i] = {{p.x, p.y, p.z}, {0, 0, 1},
                           {std::uint8_t(col >> 16), std::uint8_t(col >> 8), std::uint8_t(col), 255}};
            }
            if (!b.vertices.isCreated())
                b.vertices.create();
            b.vertices.bind();
            b.vertices.allocate(data.data(), int(data.size() * sizeof(GpuVertex)));
            ++uploads;
            b.count = GLsizei(data.size());
        }
        return b;
    }

    void SetLight(QOpenGLShaderProgram& p, bool lighting, bool points = false)
    {
        const Vec3 l = lighting::Direction(), h = Normalize(l + Vec3{0, 0, 1});
        p.setUniformValue("uLight", QVector3D(l.x, l.y, l.z));
        p.setUniformValue("uHalf", QVector3D(h.x, h.y, h.z));
        if (points)
            p.setUniformValue("uTerms", QVector3D(lighting::kPointAmbient, lighting::kPointDiffuse,
                                                  lighting::kPointSpecular));
        else
            p.setUniformValue("uTerms", QVector3D(lighting::kAmbient, lighting::kDiffuse, lighting::kSpecular));
        p.setUniformValue("uLighting", lighting);
    }

    void Attributes(QOpenGLShaderProgram& p, bool normals)
    {
        p.enableAttributeArray("aPos");
        p.setAttributeBuffer("aPos", GL_FLOAT, offsetof(GpuVertex, pos), 3, sizeof(GpuVertex));
        if (normals) {
            p.enableAttributeArray("aNormal");
            p.setAttributeBuffer("aNormal", GL_FLOAT, offsetof(GpuVertex, normal), 3, sizeof(GpuVertex));
        }
        const int color = p.attributeLocation("aColor");
        p.enableAttributeArray(color);
        glVertexAttribPointer(GLuint(color), 3, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(GpuVertex),
                              reinterpret_cast<const void*>(offsetof(GpuVertex, color)));
    }

    void Draw(Scene& scene, const ViewProjection& vp, const RenderOptions& o, int viewportW, int viewportH,
              float devicePixelRatio)
    {
        glViewport(0, 0, viewportW, viewportH);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glEnable(kMultisample);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glDepthMask(GL_TRUE);
        glClearDepthf(1.0f);
        glClear(GL_DEPTH_BUFFER_BIT);

        // QMatrix4x4(values, 4, 4) reads column-major values, like Mat4 stores them.
        const QMatrix4x4 viewProjT(vp.viewProjection.m, 4, 4);
        const QMatrix4x4 view(vp.view.m, 4, 4);
        const QMatrix4x4 proj(vp.projection.m, 4, 4);

        mesh.bind();
        mesh.setUniformValue("uViewProj", viewProjT);
        mesh.setUniformValue("uViewRot", view.normalMatrix());
        SetLight(mesh, o.lighting);
        for (const auto& m : scene.Surfaces()) {
            if (!m->IsVisible() || m->TriangleCount() == 0)
                continue;
            MeshBuffers& b = Upload(m, scene.WireFrame());
            b.vertices.bind();
            Attributes(mesh, true);
            if (scene.WireFrame()) {
                b.lines.bind();
                glLineWidth(devicePixelRatio);
                glDrawElements(GL_LINES, b.lineIndices, GL_UNSIGNED_INT, nullptr);
            } else {
                b.triangles.bind();
                glDrawElements(GL_TRIANGLES, b.triangleIndices, GL_UNSIGNED_INT, nullptr);
            }
        }
        mesh.disableAttributeArray("aPos");
        mesh.disableAttributeArray("aNormal");
        mesh.disableAttributeArray("aColor");
        mesh.release();

        sprite.bind();
        glEnable(kProgramPointSize);
        glEnable(kPointSprite);
        sprite.setUniformValue("uViewProj", viewProjT);
        sprite.setUniformValue("uView", view);
        sprite.setUniformValue("uProj", proj);
        sprite.setUniformValue("uPixelScale", vp.projection.m[5] * 0.5f * float(viewportH));
        sprite.setUniformValue("uMinRadius", 1.2f * devicePixelRatio);
        SetLight(sprite, o.lighting);
        for (const auto& c : scene.PointClouds()) {
            if (!c->IsVisible() || c->Points().empty() || c->PixelSize() > 0)
                continue;
            PointBuffers& b = Upload(c);
            b.vertices.bind();
            sprite.setUniformValue("uRadius", c->UnitRadius());
            Attributes(sprite, false);
            glDrawArrays(GL_POINTS, 0, b.count);
        }
        sprite.disableAttributeArray("aPos");
        sprite.disableAttributeArray("aColor");
        sprite.release();

        disc.bind();
        disc.setUniformValue("uViewProj", viewProjT);
        disc.setUniformValue("uView", view);
        disc.setUniformValue("uProj", proj);
        disc.setUniformValue("uPixelScale", vp.projection.m[5] * 0.5f * float(viewportH));
        SetLight(disc, o.lighting, true);
        for (const auto& c : scene.PointClouds()) {
            if (!c->IsVisible() || c->Points().empty() || !(c->PixelSize() > 0))
                continue;
            PointBuffers& b = Upload(c);
            b.vertices.bind();
            disc.setUniformValue("uDiameter", float(PointDiameterPixels(c->PixelSize(), devicePixelRatio)));
            Attributes(disc, false);
            glDrawArrays(GL_POINTS, 0, b.count);
        }
        disc.disableAttributeArray("aPos");
        disc.disableAttributeArray("aColor");
        disc.release();
        glDisable(kPointSprite);
        glDisable(kProgramPointSize);

        if (scene.WaterLevelEnabled() && scene.HasData()) {
            const DataBounds& bd = scene.Bounds();
            const float y = scene.ToUnit(bd.min[0], scene.WaterLevelValue(), bd.min[2]).y;
            const GLfloat quad[] = {-0.5f, y, -0.5f, 0.5f, y, -0.5f, 0.5f, y, 0.5f, -0.5f, y, 0.5f};
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
            flat.bind();
            flat.setUniformValue("uViewProj", viewProjT);
            flat.enableAttributeArray("aPos");
            flat.setAttributeArray("aPos", quad, 3);
            glEnable(GL_BLEND);
            // Keep the target opaque: its alpha must not take the plane's.
            glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
            glDepthMask(GL_FALSE);
            const auto rgb = [](unsigned c, int s) { return float((c >> s) & 255) / 255.0f; };
            flat.setUniformValue("uColor", QVector4D(rgb(kWaterRgb, 16), rgb(kWaterRgb, 8), rgb(kWaterRgb, 0), kWaterAlpha));
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisable(GL_BLEND);
            glDepthFunc(GL_LEQUAL);
            glLineWidth(devicePixelRatio);
            flat.setUniformValue("uColor", QVector4D(rgb(kWaterEdgeRgb, 16), rgb(kWaterEdgeRgb, 8), rgb(kWaterEdgeRgb, 0), 1.0f));
            glDrawArrays(GL_LINE_LOOP, 0, 4);
            glDepthMask(GL_TRUE);
            flat.disableAttributeArray("aPos");
            flat.release();
        }
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glDisable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
    }

    void Release()
    {
        meshBuffers.clear();
        pointBuffers.clear();
        mesh.removeAllShaders();
        flat.removeAllShaders();
        sprite.removeAllShaders();
        disc.removeAllShaders();
        ready = false;
    }
};

GlSceneRenderer::GlSceneRenderer() : m_pImpl(std::make_unique<Impl>()) {}
GlSceneRenderer::~GlSceneRenderer() = default;

bool GlSceneRenderer::Initialize(QString* error)
{
    return m_pImpl->Initialize(error);
}

void GlSceneRenderer::Paint(QPainter& painter, Scene& scene, const ViewProjection& vp, const RenderOptions& options)
{
    scene.Prepare();
    const QPaintDevice* device = painter.device();
    const float dpr = float(device->devicePixelRatioF());
    painter.fillRect(QRectF(0, 0, vp.width, vp.height), options.background);
    AxisOverlay overlay(scene, vp);
    if (options.decorations) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        overlay.DrawBackdrop(painter);
        painter.restore();
    }
    if (m_pImpl->ready) {
        painter.beginNativePainting();
        m_pImpl->Draw(scene, vp, options, int(vp.width * dpr + 0.5f), int(vp.height * dpr + 0.5f), dpr);
        painter.endNativePainting();
    }
    if (options.decorations)
        overlay.DrawFront(painter);
}

std::uint64_t GlSceneRenderer::Uploads() const
{
    return m_pImpl->uploads;
}

void GlSceneRenderer::ReleaseResources()
{
    m_pImpl->Release();
}

QImage GlSceneRenderer::Render(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options)
{
    return RenderOpenGLToImage(scene, vp, size, options);
}

QImage RenderOpenGLToImage(Scene& scene, const ViewProjection& vp, QSize size, const RenderOptions& options,
                           QString* error)
{
    QSurfaceFormat format;
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create()) {
        if (error)
            *error = QStringLiteral("no OpenGL context");
        return {};
    }
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) {
        if (error)
            *error = QStringLiteral("cannot make the OpenGL context current");
        return {};
    }
    QImage image;
    {
        QOpenGLFramebufferObjectFormat fboFormat;
        fboFormat.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
        fboFormat.setSamples(std::clamp(options.supersample, 1, 4) > 1 ? 4 : 0);
        QOpenGLFramebufferObject fbo(size, fboFormat);
        if (!fbo.isValid() || !fbo.bind()) {
            if (error)
                *error = QStringLiteral("cannot create an OpenGL framebuffer");
            context.doneCurrent();
            return {};
        }
        GlSceneRenderer renderer;
        QString shaderError;
        if (!renderer.Initialize(&shaderError)) {
            if (error)
                *error = shaderError;
            context.doneCurrent();
            return {};
        }
        {
            QOpenGLPaintDevice device(size);
            QPainter painter(&device);
            renderer.Paint(painter, scene, vp, options);
        }
        renderer.ReleaseResources();
        fbo.release();
        image = fbo.toImage().convertToFormat(QImage::Format_RGB32);
    }
    context.doneCurrent();
    return image;
}

} // namespace plot
