#pragma once
// The chart's light model, shared by the software and OpenGL renderers so both
// draw the same picture: one directional light fixed relative to the viewer
// (up and to the left, behind the eye) plus ambient light and a faint specular
// highlight, evaluated per vertex (Gouraud) and two-sided (a surface seen from
// below is lit like its upper side).
#include "plot_control/Math3d.h"

namespace plot::lighting {

inline constexpr float kLightX = -0.38f, kLightY = 0.62f, kLightZ = 0.69f; // view space, normalised
inline constexpr float kAmbient = 0.48f;
inline constexpr float kDiffuse = 0.55f;
inline constexpr float kSpecular = 0.16f; // white, Blinn with exponent 32

inline Vec3 Direction() { return Normalize(Vec3{kLightX, kLightY, kLightZ}); }

// Light intensity and specular term for a view-space normal n (unit) seen
// along toEye (unit, from the surface towards the eye).
inline void Shade(Vec3 n, Vec3 toEye, float* intensity, float* specular)
{
    if (Dot(n, toEye) < 0)
        n = -n;
    const Vec3 l = Direction();
    const float d = Dot(n, l);
    *intensity = kAmbient + kDiffuse * (d > 0 ? d : 0);
    const Vec3 h = Normalize(l + toEye);
    float s = Dot(n, h);
    s = s > 0 ? s : 0;
    s *= s; s *= s; s *= s; s *= s; s *= s; // ^32
    *specular = kSpecular * s;
}

// Pixel-sized points are discs facing the eye, lit as a bead by the same
// light but softly (no face of theirs is dark), so that they read on light
// and dark backgrounds alike: the side away from the light keeps 70 % of the
// colour, the lit side a faint highlight.
inline constexpr float kPointAmbient = 0.70f;
inline constexpr float kPointDiffuse = 0.36f;
inline constexpr float kPointSpecular = 0.20f; // white, Blinn with exponent 32

// Light of the disc at (x, y) of its radius from its centre (x right, y up,
// nz = sqrt(1 - x^2 - y^2)), seen along the view axis.
inline void ShadePoint(float x, float y, float nz, float* intensity, float* specular)
{
    const Vec3 n{x, y, nz};
    const Vec3 l = Direction();
    const float d = Dot(n, l);
    *intensity = kPointAmbient + kPointDiffuse * (d > 0 ? d : 0);
    const Vec3 h = Normalize(l + Vec3{0, 0, 1});
    float s = Dot(n, h);
    s = s > 0 ? s : 0;
    s *= s; s *= s; s *= s; s *= s; s *= s; // ^32
    *specular = kPointSpecular * s;
}

} // namespace plot::lighting
