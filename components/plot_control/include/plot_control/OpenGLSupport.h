#pragma once
// Whether charts may draw with OpenGL on this machine. A software OpenGL
// driver (what a machine without a GPU driver has) draws slower than the
// chart's own software renderer, so it counts as no OpenGL: the chart draws in
// software while the user's choice stays what is reported and stored.
#include <QString>

#include <optional>

namespace plot {

// True when a GL_RENDERER string names a software rasterizer (Mesa's
// llvmpipe, softpipe and swrast, and the like).
bool IsSoftwareOpenGLRenderer(const QString& glRenderer);

struct OpenGLSupport {
    bool usable = false;
    QString reason; // why not, for the trace line; empty when usable
};

// What the decision is made of.
struct OpenGLFacts {
    QString platform;     // the Qt platform plugin's name
    bool context = false; // an OpenGL context could be made current
    QString renderer;     // that context's GL_RENDERER
    bool forced = false;  // VANTIX_FORCE_OPENGL=1: software drivers allowed
};
OpenGLSupport DecideOpenGL(const OpenGLFacts& facts);

// This process's answer: probed once on the GUI thread (a context on an
// offscreen surface) and kept.
const OpenGLSupport& OpenGLSupportHere();

// Tests: the GL_RENDERER text the probe sees instead of the driver's
// (nullopt: the driver's). Either way the kept answer is dropped, so the
// environment is read again too.
void SetOpenGLRendererForTesting(std::optional<QString> renderer);

} // namespace plot
