#include "SampleData.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace plot::demo {

std::uint32_t RampColour(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const auto n = [](double s) { return std::uint32_t(int(s * 255 * 4)) & 0xFF; };
    if (t < 0.25)
        return 0x00FF00 + (n(t) << 16);
    if (t < 0.5)
        return 0xFF0000 + ((255 - n(t - 0.25)) << 8);
    if (t < 0.75)
        return 0xFF0000 + n(t - 0.5);
    return 0x0000FF + ((255 - n(t - 0.75)) << 16);
}

SurfaceData MakeTuningSurface(int n, unsigned seed)
{
    n = std::max(n, 2);
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> height(std::size_t(n) * n);
    const auto kp = [n](int i) { return 0.5 + 4.5 * i / (n - 1); };
    const auto ki = [n](int j) { return 0.01 + 0.39 * j / (n - 1); };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double x = kp(i), z = ki(j);
            // A smooth trend, a ridge of oscillation, and measurement noise that
            // grows where the controller gets nervous (high gains).
            const double base = 6 + 2.2 * x + 38 * z + 4.5 * std::sin(1.4 * x) * std::cos(11 * z);
            const double ridge = 9 * std::exp(-std::pow((x - 3.4) / 0.7, 2) - std::pow((z - 0.27) / 0.06, 2));
            const double nervous = 0.06 + 0.5 * std::pow(x / 5 * z / 0.4, 2);
            height[std::size_t(i) * n + j] = base + ridge + nervous * noise(rng);
        }
    // Roughness: mean absolute difference to the 5 x 5 neighbourhood without the corners.
    std::vector<double> rough(height.size());
    double rmin = 1e300, rmax = -1e300;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double v = height[std::size_t(i) * n + j];
            double sum = 0;
            int count = 0;
            for (int di = -2; di <= 2; ++di)
                for (int dj = -2; dj <= 2; ++dj) {
                    if ((di == 0 && dj == 0) || (std::abs(di) == 2 && std::abs(dj) == 2))
                        continue;
                    const int a = std::clamp(i + di, 0, n - 1), b = std::clamp(j + dj, 0, n - 1);
                    sum += std::fabs(height[std::size_t(a) * n + b] - v);
                    ++count;
                }
            const double r = sum / count;
            rough[std::size_t(i) * n + j] = r;
            rmin = std::min(rmin, r);
            rmax = std::max(rmax, r);
        }
    SurfaceData out;
    out.vertices.reserve(height.size());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const std::size_t k = std::size_t(i) * n + j;
            const double t = rmax > rmin ? (rough[k] - rmin) / (rmax - rmin) : 0;
            out.vertices.push_back({kp(i), height[k], ki(j), RampColour(t), 0});
        }
    out.indices.reserve(std::size_t(n - 1) * (n - 1) * 6);
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            const std::uint32_t k00 = std::uint32_t(i * n + j), k01 = k00 + 1, k10 = k00 + std::uint32_t(n),
                                k11 = k10 + 1;
            out.indices.insert(out.indices.end(), {k00, k01, k10, k01, k11, k10});
        }
    return out;
}

std::vector<SurfaceVertex> MakePointCloud(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.06);
    std::vector<SurfaceVertex> points;
    points.reserve(std::size_t(std::max(count, 0)));
    for (int k = 0; k < count; ++k) {
        const double x = u(rng), z = u(rng);
        const double y = 0.6 * (x * x + 0.5 * z * z) + 0.25 * std::sin(3 * x) + noise(rng);
        const double t = std::clamp((y + 0.3) / 1.4, 0.0, 1.0);
        points.push_back({2 + 3 * x, y * 10, 0.2 + 0.15 * z, RampColour(t), 0});
    }
    return points;
}

} // namespace plot::demo
