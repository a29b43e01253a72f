#pragma once
// Status-bar text of a picked point. x, y, z are control coordinates: y is the
// vertical axis, i.e. the function value, so the function comes last with y.
#include <string>

std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, double x, double y, double z);

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
std::optional<PickedRecord> FindPickedRecord(IDataTransfer& slice, double x, double y, double z);
// "  record 17", "  record 17 (of 4 here)" or "  mean of 4 records".
std::wstring DescribePickedRecord(const PickedRecord& picked);
