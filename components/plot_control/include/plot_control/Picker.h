#pragma once
// Point picking: which series element lies under a screen point.
#include "plot_control/Camera.h"
#include "plot_control/Scene.h"

#include <array>
#include <cstddef>
#include <optional>

namespace plot {

struct PickResult {
    enum class Kind { Surface, Point } kind = Kind::Surface;
    std::size_t series = 0; // index among the scene's surfaces or point clouds
    std::size_t index = 0;  // vertex or point index within the series
    std::array<double, 3> data{}; // the picked point, data coordinates (x, vertical y, z)
};

// The nearest visible surface triangle or point under (sx, sy): for a
// triangle its vertex nearest to the hit, for a point its centre. A point of
// a pixel size is hit within its disc (plus two pixels) at the depth of its
// disc; sx, sy and the disc's size are in vp's (device-independent) pixels.
// Nothing when the ray hits no series.
std::optional<PickResult> PickScene(Scene& scene, const ViewProjection& vp, float sx, float sy);

} // namespace plot
