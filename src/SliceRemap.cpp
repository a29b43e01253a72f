#include "SliceRemap.h"

#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataColumns.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace IQX_VantixDataProvider;

namespace {

// What the slice needs of one data object: names, and each input's values
// as numbers or labels.
class DataView {
public:
    explicit DataView(IUnknown* p) : m_source(p), m_ex(p), m_columns(p), m_meaning(p) {}
    bool Valid() const { return m_source && m_ex; }

    std::wstring InputName(ULONG input) const
    {
        std::wstring signal, name;
        m_source->GetSignalName(input, &signal);
        m_source->GetInputName(input, &name);
        return signal + L":" + name;
    }
    std::optional<std::uint32_t> FindInput(const std::wstring& fullName) const
    {
        ULONG n = 0;
        m_source->GetInputCount(&n);
        for (ULONG i = 0; i < n; ++i)
            if (InputName(i) == fullName)
                return i;
        return std::nullopt;
    }
    std::optional<std::uint32_t> FindFunction(const std::wstring& name) const
    {
        ULONG n = 0;
        m_source->GetFunctionCount(&n);
        for (ULONG f = 0; f < n; ++f) {
            std::wstring s;
            m_source->GetFunctionName(f, &s);
            if (s == name)
                return f;
        }
        return std::nullopt;
    }
    std::wstring FunctionName(ULONG f) const
    {
        std::wstring s;
        m_source->GetFunctionName(f, &s);
        return s;
    }
    std::vector<double> Values(ULONG input) const
    {
        const double* p = nullptr;
        ULONG n = 0;
        if (m_columns && SUCCEEDED(m_columns->GetInputDistinctValues(input, &p, &n)))
            return {p, p + n};
        std::vector<double> out;
        double v = 0;
        while (SUCCEEDED(m_ex->GetInputValueByIndex(out.size(), input, &v)) && out.size() < (1u << 28))
            out.push_back(v);
        return out;
    }
    // The label of a value (a category's or "(none)"); empty for a plain number.
    std::wstring Label(ULONG input, std::uint64_t index) const
    {
        std::wstring label;
        if (m_meaning && m_meaning->GetInputValueLabel(input, index, &label) == S_OK)
            return label;
        return {};
    }

private:
    ComPtr<IOptimizationResultsDataSource> m_source;
    ComPtr<IOptimizationResultsDataSourceEx> m_ex;
    ComPtr<IOptimizationResultsDataColumns> m_columns;
    ComPtr<IOptimizationResultsDataMeaning> m_meaning;
};

// Index in `to` of value `index` of `from`: the same label, or the same
// number (the nearest one below when it is gone).
std::uint64_t MapValue(const DataView& from, ULONG fromInput, const std::vector<double>& fromValues, std::uint64_t index,
                       const DataView& to, ULONG toInput, const std::vector<double>& toValues)
{
    if (toValues.empty())
        return 0;
    if (const std::wstring label = from.Label(fromInput, index); !label.empty()) {
        for (std::uint64_t k = 0; k < toValues.size(); ++k)
            if (to.Label(toInput, k) == label)
                return k;
        return toValues.size() - 1;
    }
    const double v = fromValues[std::min<std::size_t>(index, fromValues.size() - 1)];
    const auto it = std::lower_bound(toValues.begin(), toValues.end(), v);
    if (it != toValues.end() && *it == v)
        return std::uint64_t(it - toValues.begin());
    return it == toValues.begin() ? 0 : std::uint64_t(it - toValues.begin() - 1);
}

} // namespace

std::optional<CDataTransformer> RemapSlice(const CDataTransformer& slice, IUnknown* pNewer)
{
    const DataView from(slice.Source()), to(pNewer);
    if (!from.Valid() || !to.Valid())
        return std::nullopt;
    const auto x = to.FindInput(from.InputName(slice.m_nInputX));
    const auto y = to.FindInput(from.InputName(slice.m_nInputY));
    const auto f = to.FindFunction(from.FunctionName(slice.m_nFunction));
    if (!x || !y || !f)
        return std::nullopt;
    CDataTransformer out(pNewer);
    out.m_eType = slice.m_eType;
    out.m_nInputX = *x;
    out.m_nInputY = *y;
    out.m_nFunction = *f;
    for (const FixedInput& held : slice.m_Fixed) {
        const auto input = to.FindInput(from.InputName(held.nInput));
        if (!input)
            continue; // an input gone from the study holds nothing
        const std::vector<double> oldValues = from.Values(held.nInput), newValues = to.Values(*input);
        if (newValues.empty())
            continue;
        FixedInput moved{*input, 0, newValues.size() - 1};
        if (held.nValue != 0 || held.nSpan + 1 < oldValues.size()) { // not "All"
            const std::uint64_t lo =
                MapValue(from, held.nInput, oldValues, held.nValue, to, *input, newValues);
            const std::uint64_t hi =
                MapValue(from, held.nInput, oldValues, held.nValue + held.nSpan, to, *input, newValues);
            moved.nValue = lo;
            moved.nSpan = hi >= lo ? hi - lo : 0;
        }
        out.m_Fixed.push_back(moved);
    }
    return out;
}
