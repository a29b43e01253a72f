#pragma once
// The charts the render benchmarks draw: noisy grid surfaces coloured by
// roughness and scattered clouds coloured by value, and their timing helpers.
#include "plot_control/Scene.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace bench {

template <class F>
double Ms(F&& f)
{
    const auto a = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count();
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

inline double Function(double x, double z)
{
    return std::sin(x) * std::cos(1.7 * z) + 0.3 * std::sin(0.7 * x + 2.1 * z);
}
constexpr double kFunctionRange = 2.6; // of Function over the domain, near enough

inline std::uint32_t Ramp(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const auto c = [](double v) { return std::uint32_t(std::clamp(v, 0.0, 1.0) * 255 + 0.5); };
    return (c(1.5 * t) << 16) | (c(1.2 - std::fabs(2 * t - 1)) << 8) | c(1.5 * (1 - t));
}

// An n x n grid of noisy values, coloured by roughness (distance from the
// mean of the four neighbours) as the program colours grid slices.
inline void MakeSurface(plot::Scene& scene, int n, double noise)
{
    std::mt19937_64 random(20240601 + n);
    std::normal_distribution<double> dist(0.0, noise * kFunctionRange);
    std::vector<plot::SurfaceVertex> v(std::size_t(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double x = 10.0 * i / (n - 1), z = 4.0 * j / (n - 1);
            v[std::size_t(i) * n + j] = {x, Function(x, z) + dist(random), z, 0, 0};
        }
    std::vector<double> rough(v.size(), 0);
    double hi = 1e-12;
    for (int i = 1; i + 1 < n; ++i)
        for (int j = 1; j + 1 < n; ++j) {
            const std::size_t k = std::size_t(i) * n + j;
            rough[k] = std::fabs(v[k].y - 0.25 * (v[k - 1].y + v[k + 1].y + v[k - n].y + v[k + n].y));
            hi = std::max(hi, rough[k]);
        }
    for (std::size_t k = 0; k < v.size(); ++k)
        v[k].color = Ramp(rough[k] / hi);
    std::vector<std::uint32_t> idx;
    idx.reserve(std::size_t(n - 1) * (n - 1) * 6);
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            const std::uint32_t k00 = std::uint32_t(i * n + j), k01 = k00 + 1, k10 = k00 + std::uint32_t(n), k11 = k10 + 1;
            idx.insert(idx.end(), {k00, k01, k10, k01, k11, k10});
        }
    scene.AddSurface()->SetData(v.data(), v.size(), idx.data(), idx.size());
}

// Scattered designs: uniform random inputs, noisy values, pixel-sized points
// of the size the program picks for that many.
inline void MakeCloud(plot::Scene& scene, std::size_t count)
{
    std::mt19937_64 random(20240602 + count);
    std::uniform_real_distribution<double> ux(0.0, 10.0), uz(0.0, 4.0);
    std::normal_distribution<double> dist(0.0, 0.01 * kFunctionRange);
    std::vector<plot::SurfaceVertex> points(count);
    for (auto& p : points) {
        p.x = ux(random);
        p.z = uz(random);
        p.y = Function(p.x, p.z) + dist(random);
        p.color = 0xFFFFFF;
        p.unused = 0;
    }
    auto cloud = scene.AddPointCloud();
    cloud->SetPixelSize(count <= 2000000 ? 4.0 : 3.0);
    cloud->SetColorByValue(true);
    cloud->SetData(points.data(), points.size(), 0.0);
}

} // namespace bench
