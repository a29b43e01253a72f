#pragma once
// Status-bar text of a picked point. x, y, z are control coordinates: y is the
// vertical axis, i.e. the function value, so the function comes last with y.
#include "AxisPositions.h"

#include <string>

std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, double x, double y, double z);
// The same with each value already written (a label, "(none)", a number).
std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, const std::wstring& x, const std::wstring& y,
                                const std::wstring& z);

#include <cstddef>
#include <cstdint>
#include <optional>

class IDataTransfer;

// The record behind a picked point of a slice: of the records at the point's
// X and Y values (nShared of them), the first whose function value is the
// point's height; bExact false when none is (a mean of several).
struct PickedRecord {
    std::uint32_t nRecord = 0;
    std::size_t nShared = 0;
    bool bExact = false;
};
// x, y, z are chart positions; axes says how the slice's values became them
// (null: the values themselves).
std::optional<PickedRecord> FindPickedRecord(IDataTransfer& slice, double x, double y, double z,
                                             const SliceAxes* axes = nullptr);
// "  record 17", "  record 17 (of 4 here)" or "  mean of 4 records".
std::wstring DescribePickedRecord(const PickedRecord& picked);
