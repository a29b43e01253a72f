#include "AxisPositions.h"

#include "ors_provider/IDataMeaning.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

double AxisPositions::Position(double value, std::uint64_t index) const
{
    if (none && index == *none)
        return nonePos;
    if (bLabelled)
        return static_cast<double>(index);
    return Position(value);
}

double AxisPositions::Position(double value) const
{
    if (!bLog)
        return value;
    return value > 0 ? std::log10(value) : std::numeric_limits<double>::quiet_NaN();
}

std::wstring AxisPositions::Text(double position) const
{
    if (none && position == nonePos)
        return IQX_VantixDataProvider::kNoneLabel;
    if (bLabelled && position >= 0) {
        const auto it = labels.find(static_cast<std::uint64_t>(std::llround(position)));
        if (it != labels.end())
            return it->second;
    }
    // As the status bar writes numbers: six significant digits, '.' as separator.
    std::wostringstream text;
    text.imbue(std::locale::classic());
    text << (bLog ? std::pow(10.0, position) : position);
    return text.str();
}
