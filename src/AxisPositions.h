#pragma once
// How one axis of a slice turns its values into chart positions and back
// into the text the status bar shows: log10 of the values on a log axis, the
// value index (the code) of a labelled input, a place just past the axis end
// for "(none)".
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct AxisPositions {
    bool bLog = false;
    bool bLabelled = false;
    std::optional<std::uint64_t> none; // value index of "(none)"
    double nonePos = 0.0;
    // Labels of the value indices drawn (a labelled input's, and "(none)").
    std::map<std::uint64_t, std::wstring> labels;

    // The position of a value of value index `index`; NaN (not drawn) for a
    // value at or below zero on a log axis.
    double Position(double value, std::uint64_t index) const;
    // The function axis: values without indices.
    double Position(double value) const;
    // "(none)", a label, or the value with six significant digits.
    std::wstring Text(double position) const;
};

// Axis 0 (X), 1 (Y) and 2 (the function) of a slice.
using SliceAxes = std::array<AxisPositions, 3>;
