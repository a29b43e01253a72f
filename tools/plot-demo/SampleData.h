#pragma once
// Generated sample charts: a noisy controller-tuning surface coloured by
// local roughness (green, yellow, red, magenta, blue) and a point cloud.
#include "plot_control/IPlotControl.h"

#include <cstdint>
#include <vector>

namespace plot::demo {

struct SurfaceData {
    std::vector<SurfaceVertex> vertices;
    std::vector<std::uint32_t> indices;
};

// n x n grid over Kp in [0.5, 5] and Ki in [0.01, 0.4]; height = overshoot in %.
SurfaceData MakeTuningSurface(int n, unsigned seed = 7);
// count points of a noisy paraboloid; colour by height.
std::vector<SurfaceVertex> MakePointCloud(int count, unsigned seed = 11);
// The roughness ramp: t in [0, 1] -> 0x00RRGGBB.
std::uint32_t RampColour(double t);

} // namespace plot::demo
