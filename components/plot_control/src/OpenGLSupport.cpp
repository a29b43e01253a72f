#include "plot_control/OpenGLSupport.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <array>

namespace plot {

namespace {

std::optional<QString>& RendererOverride()
{
    static std::optional<QString> text;
    return text;
}

std::optional<OpenGLSupport>& Kept()
{
    static std::optional<OpenGLSupport> support;
    return support;
}

// Platforms that draw into memory cannot host an OpenGL widget even where a
// context can be made (the offscreen platform beside an X display): Qt would
// crash on the first paint.
bool HostsOpenGLWidgets(const QString& platform)
{
    static const std::array<QLatin1String, 4> memoryOnly = {QLatin1String("offscreen"), QLatin1String("minimal"),
                                                            QLatin1String("linuxfb"), QLatin1String("vnc")};
    for (const QLatin1String& name : memoryOnly)
        if (platform == name)
            return false;
    return true;
}

} // namespace

bool IsSoftwareOpenGLRenderer(const QString& glRenderer)
{
    static const std::array<QLatin1String, 7> names = {
        QLatin1String("llvmpipe"),   QLatin1String("softpipe"), QLatin1String("swrast"),
        QLatin1String("software"),   QLatin1String("swiftshader"),
        QLatin1String("gdi generic"), QLatin1String("basic render driver")};
    for (const QLatin1String& name : names)
        if (glRenderer.contains(name, Qt::CaseInsensitive))
            return true;
    return false;
}

OpenGLSupport DecideOpenGL(const OpenGLFacts& facts)
{
    if (!HostsOpenGLWidgets(facts.platform))
        return {false, QStringLiteral("the platform \"%1\" cannot host OpenGL widgets").arg(facts.platform)};
    if (!facts.context)
        return {false, QStringLiteral("no OpenGL context")};
    if (!facts.forced && IsSoftwareOpenGLRenderer(facts.renderer))
        return {false, QStringLiteral("software OpenGL driver \"%1\"").arg(facts.renderer)};
    return {true, {}};
}

const OpenGLSupport& OpenGLSupportHere()
{
    std::optional<OpenGLSupport>& kept = Kept();
    if (kept)
        return *kept;
    OpenGLFacts facts;
    facts.platform = QGuiApplication::platformName();
    facts.forced = qEnvironmentVariableIntValue("VANTIX_FORCE_OPENGL") == 1;
    if (HostsOpenGLWidgets(facts.platform)) {
        QOpenGLContext context;
        QOffscreenSurface surface;
        if (context.create()) {
            surface.setFormat(context.format());
            surface.create();
            if (surface.isValid() && context.makeCurrent(&surface)) {
                facts.context = true;
                const auto* text = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
                facts.renderer = QString::fromLatin1(text ? text : "");
                context.doneCurrent();
            }
        }
    }
    if (RendererOverride())
        facts.renderer = *RendererOverride();
    kept = DecideOpenGL(facts);
    return *kept;
}

void SetOpenGLRendererForTesting(std::optional<QString> renderer)
{
    RendererOverride() = std::move(renderer);
    Kept().reset();
}

} // namespace plot
