#pragma once
// Status-bar text of a picked point. x, y, z are control coordinates: y is the
// vertical axis, i.e. the function value, so the function comes last with y.
#include <string>

std::wstring BuildSelectionText(const std::wstring& xAxisTitle, const std::wstring& yAxisTitle,
                                const std::wstring& functionTitle, double x, double y, double z);
