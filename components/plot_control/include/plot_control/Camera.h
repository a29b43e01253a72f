#pragma once
// The orbit camera of the chart and the matrices it yields for a viewport.
// The camera looks at the centre of the unit cube from outside its bounding
// sphere; the field of view sets the strength of perspective. The projected
// box is fitted into the viewport (with room for labels) for every
// orientation; zoom and pan then magnify and shift the image, so zooming never
// puts the eye inside the data.
#include "plot_control/Math3d.h"

namespace plot {

// Matrices for one viewport of width x height pixels. Screen coordinates have
// their origin at the top-left corner, y down; pixel (i, j) covers
// [i, i+1) x [j, j+1). Depth is 0 at the near plane and 1 at the far plane.
struct ViewProjection {
    Mat4 view;
    Mat4 projection;
    Mat4 viewProjection;
    Mat4 inverseViewProjection;
    Vec3 eye; // unit-cube coordinates
    int width = 1;
    int height = 1;
    float zNear = 0.1f;
    float zFar = 10.0f;

    // False when p lies behind the eye or outside the depth range.
    bool Project(Vec3 p, float* sx, float* sy, float* depth = nullptr) const;
    // The ray through screen point (sx, sy), unit-cube coordinates; dir is normalised.
    void Ray(float sx, float sy, Vec3* origin, Vec3* dir) const;
    // Screen pixels per unit-cube length at view-space distance viewDepth (> 0).
    float PixelsPerUnit(float viewDepth) const;
};

class OrbitCamera {
public:
    static constexpr int kMinFieldOfView = 30;
    static constexpr int kMaxFieldOfView = 120;
    static constexpr int kDefaultFieldOfView = 45;
    static constexpr double kDefaultYaw = 38.0;   // degrees about the vertical axis
    static constexpr double kDefaultPitch = 26.0; // degrees above the horizon

    // Back to the default orientation, zoom and pan; the field of view stays.
    void Reset();
    // Reset, then look straight down (Top), along the Y input axis (Front,
    // the unit cube's z) or along the X input axis (Side, its x).
    enum class Preset { Default, Top, Front, Side };
    void SetPreset(Preset preset);

    void SetFieldOfView(int degrees); // clamped to [30, 120]
    int FieldOfView() const { return m_nFieldOfView; }

    void SetOrientation(double yawDegrees, double pitchDegrees); // pitch clamped to [-90, 90]
    double Yaw() const { return m_dYaw; }
    double Pitch() const { return m_dPitch; }
    void SetZoom(double zoom); // clamped to [0.25, 8]
    double Zoom() const { return m_dZoom; }

    // Mouse gestures in screen pixels.
    void Orbit(double dx, double dy);
    void ZoomSteps(double steps); // > 0 zooms in
    void Pan(double dx, double dy, int viewportWidth, int viewportHeight);

    ViewProjection Matrices(int width, int height) const;

private:
    double FitDistance(double aspect) const;

    double m_dYaw = kDefaultYaw;
    double m_dPitch = kDefaultPitch;
    double m_dZoom = 1.0;
    double m_dPanX = 0, m_dPanY = 0; // image shift, normalised device units
    int m_nFieldOfView = kDefaultFieldOfView;
};

} // namespace plot
