#pragma once
// The renderer benchmarks' same-run baseline: what any renderer must do for
// every vertex or point, projecting it to the screen.
#include "plot_control/Camera.h"
#include "plot_control/Math3d.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

#include <vector>

namespace bench {

struct ScreenPoint {
    float x, y, z;
};

// Marks the upper halves of the vector registers clean: Qt's painting
// returns with them dirty, which slows the compiled scalar code of the pass
// two to three times on some processors until something clears them. The
// baseline is measured clean, as the renderer runs its own code.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
[[gnu::target("avx")]] inline void ZeroUpper()
{
    _mm256_zeroupper();
}
#endif

inline void ClearUpperRegisters()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (__builtin_cpu_supports("avx"))
        ZeroUpper();
#endif
}

inline void TransformPass(const std::vector<plot::Vec3>& unit, const plot::ViewProjection& vp, int width, int height,
                          std::vector<ScreenPoint>& out)
{
    ClearUpperRegisters();
    const plot::Mat4& m = vp.viewProjection;
    const float hw = 0.5f * width, hh = 0.5f * height;
    for (std::size_t i = 0; i < unit.size(); ++i) {
        const plot::Vec4 c = m * plot::Vec4{unit[i].x, unit[i].y, unit[i].z, 1};
        const float iw = 1.0f / c.w;
        out[i] = {(c.x * iw + 1) * hw, (1 - c.y * iw) * hh, c.z * iw};
    }
}

} // namespace bench
