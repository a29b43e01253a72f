#include "plot_control/Camera.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace plot {

namespace {
constexpr double kDeg = std::numbers::pi / 180.0;
// The eye stays outside the box's bounding sphere for every field of view.
constexpr double kFrameRadius = 0.866 * 1.04;
constexpr double kMaxPan = 1.5; // normalised device units
// Room for tick labels and titles around the fitted box, in pixels (at most
// 18 % of the viewport each).
constexpr double kMarginSide = 95;
constexpr double kMarginTop = 30;
constexpr double kMarginBottom = 75;
} // namespace

bool ViewProjection::Project(Vec3 p, float* sx, float* sy, float* depth) const
{
    const Vec4 c = viewProjection * Vec4{p.x, p.y, p.z, 1};
    if (!(c.w > 1e-6f))
        return false;
    const float iw = 1.0f / c.w;
    *sx = (c.x * iw * 0.5f + 0.5f) * width;
    *sy = (0.5f - c.y * iw * 0.5f) * height;
    const float d = c.z * iw * 0.5f + 0.5f;
    if (depth)
        *depth = d;
    return d >= 0 && d <= 1;
}

void ViewProjection::Ray(float sx, float sy, Vec3* origin, Vec3* dir) const
{
    const float nx = sx / width * 2 - 1;
    const float ny = 1 - sy / height * 2;
    const Vec4 a = inverseViewProjection * Vec4{nx, ny, -1, 1};
    const Vec4 b = inverseViewProjection * Vec4{nx, ny, 1, 1};
    const Vec3 pa{a.x / a.w, a.y / a.w, a.z / a.w};
    const Vec3 pb{b.x / b.w, b.y / b.w, b.z / b.w};
    *origin = pa;
    *dir = Normalize(pb - pa);
}

float ViewProjection::PixelsPerUnit(float viewDepth) const
{
    return projection.m[5] * 0.5f * height / viewDepth;
}

void OrbitCamera::Reset()
{
    m_dYaw = kDefaultYaw;
    m_dPitch = kDefaultPitch;
    m_dZoom = 1.0;
    m_dPanX = m_dPanY = 0;
}

void OrbitCamera::SetPreset(Preset preset)
{
    Reset();
    // Yaw 0 keeps the X input running to the right in the top and front views.
    switch (preset) {
    case Preset::Default:
        break;
    case Preset::Top:
        SetOrientation(0, 90);
        break;
    case Preset::Front:
        SetOrientation(0, 0);
        break;
    case Preset::Side:
        SetOrientation(90, 0);
        break;
    }
}

void OrbitCamera::SetFieldOfView(int degrees)
{
    m_nFieldOfView = std::clamp(degrees, kMinFieldOfView, kMaxFieldOfView);
}

void OrbitCamera::SetOrientation(double yaw, double pitch)
{
    yaw = std::fmod(yaw, 360.0);
    m_dYaw = yaw < 0 ? yaw + 360.0 : yaw;
    m_dPitch = std::clamp(pitch, -90.0, 90.0);
}

void OrbitCamera::SetZoom(double zoom)
{
    m_dZoom = std::clamp(zoom, 0.25, 8.0);
}

void OrbitCamera::Orbit(double dx, double dy)
{
    // Dragging right turns the box to the right, as if grabbing it.
    SetOrientation(m_dYaw - dx * 0.4, m_dPitch + dy * 0.4);
}

void OrbitCamera::ZoomSteps(double steps)
{
    SetZoom(m_dZoom * std::pow(1.12, steps));
}

void OrbitCamera::Pan(double dx, double dy, int width, int height)
{
    // The image follows the mouse.
    m_dPanX = std::clamp(m_dPanX + 2 * dx / std::max(width, 1), -kMaxPan, kMaxPan);
    m_dPanY = std::clamp(m_dPanY - 2 * dy / std::max(height, 1), -kMaxPan, kMaxPan);
}

double OrbitCamera::FitDistance(double aspect) const
{
    const double halfY = m_nFieldOfView * kDeg / 2;
    const double halfX = std::atan(std::tan(halfY) * aspect);
    return kFrameRadius / std::sin(std::min(halfX, halfY));
}

ViewProjection OrbitCamera::Matrices(int width, int height) const
{
    ViewProjection vp;
    vp.width = std::max(width, 1);
    vp.height = std::max(height, 1);
    const double aspect = double(vp.width) / vp.height;
    const double d = FitDistance(aspect);
    const double yaw = m_dYaw * kDeg, pitch = m_dPitch * kDeg;
    const Vec3 back{float(std::cos(pitch) * std::sin(yaw)), float(std::sin(pitch)), float(std::cos(pitch) * std::cos(yaw))};
    const Vec3 up{float(-std::sin(pitch) * std::sin(yaw)), float(std::cos(pitch)), float(-std::sin(pitch) * std::cos(yaw))};
    vp.eye = back * float(d);
    vp.view = Mat4::LookAt(vp.eye, Vec3{0, 0, 0}, up);
    vp.zNear = float(std::max(0.02, d - 2.0));
    vp.zFar = float(d + 2.0);
    const Mat4 perspective =
        Mat4::Perspective(float(m_nFieldOfView * kDeg), float(aspect), vp.zNear, vp.zFar);

    // Fit the projected box into the viewport, leaving room for the labels,
    // then apply zoom and pan as a 2-D magnification and shift of the image.
    const Mat4 pv = perspective * vp.view;
    double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
    for (int k = 0; k < 8; ++k) {
        const Vec4 c = pv * Vec4{k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f, 1};
        x0 = std::min(x0, double(c.x / c.w)), x1 = std::max(x1, double(c.x / c.w));
        y0 = std::min(y0, double(c.y / c.w)), y1 = std::max(y1, double(c.y / c.w));
    }
    const auto margin = [](double pixels, int size) { return 2 * std::min(pixels, 0.18 * size) / size; };
    const double left = -1 + margin(kMarginSide, vp.width), right = 1 - margin(kMarginSide, vp.width);
    const double bottom = -1 + margin(kMarginBottom, vp.height), top = 1 - margin(kMarginTop, vp.height);
    const double fit = std::min((right - left) / std::max(x1 - x0, 1e-6), (top - bottom) / std::max(y1 - y0, 1e-6));
    const double scale = fit * m_dZoom;
    Mat4 frame;
    frame.at(0, 0) = float(scale);
    frame.at(1, 1) = float(scale);
    frame.at(0, 3) = float((left + right) / 2 - scale * (x0 + x1) / 2 + m_dPanX);
    frame.at(1, 3) = float((bottom + top) / 2 - scale * (y0 + y1) / 2 + m_dPanY);
    vp.projection = frame * perspective;
    vp.viewProjection = vp.projection * vp.view;
    vp.inverseViewProjection = vp.viewProjection.Inverted();
    return vp;
}

} // namespace plot
