#pragma once
// The chart's colour ramp, shared by the program's chart adapter (roughness
// colours) and the chart control (series coloured by their function value).
#include <cmath>
#include <cstdint>

namespace plot {

namespace detail {
// Low 8 bits of the integer part (toward zero) of s * 255 * 4: the step of a
// quarter of the ramp, as the adapter has always computed it (1 at the end of
// a quarter gives 255, so the quarters meet at their corner colours).
inline std::uint32_t RampStep(double s)
{
    const double scaled = s * 255 * 4;
    if (!(std::fabs(scaled) < 2147483648.0))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)) & 0xFF;
}
} // namespace detail

// The chart's colour ramp: t = 0 green (0x00FF00), 0.25 yellow (0xFFFF00), 0.5 red (0xFF0000), 0.75 magenta (0xFF00FF), 1 blue (0x0000FF).
// t clamped to [0,1]; NaN gives the t=0 colour.
inline std::uint32_t RampColor(double t)
{
    if (!(t > 0))
        t = 0;
    else if (t > 1)
        t = 1;
    if (t < 0.25)
        return 0x00FF00 + (detail::RampStep(t) << 16);
    if (t < 0.5)
        return 0xFF0000 + ((255 - detail::RampStep(t - 0.25)) << 8);
    if (t < 0.75)
        return 0xFF0000 + detail::RampStep(t - 0.5);
    return 0x0000FF + ((255 - detail::RampStep(t - 0.75)) << 16);
}

// t = (v - lo) / (hi - lo); lo == hi gives 0x00FF00.
inline std::uint32_t RampColor(double v, double lo, double hi)
{
    if (lo == hi)
        return 0x00FF00;
    return RampColor((v - lo) / (hi - lo));
}

} // namespace plot
