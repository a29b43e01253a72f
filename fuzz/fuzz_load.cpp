// Any bytes through the provider's Load, as the program opens a file. A load
// that fails says why (error info naming the file); one that succeeds is read
// through the interfaces the chart uses, saved through the data object and
// loaded again into the same columns.
#include "FuzzHarness.h"
#include "OrsDataProvider.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace IQX_VantixDataProvider;

struct Columns {
    std::vector<std::wstring> names;
    std::vector<std::vector<double>> distinct, functions;
    std::vector<std::vector<std::uint32_t>> indices;
    bool operator==(const Columns&) const = default;
};

Columns ReadBack(IUnknown* data)
{
    ComPtr<IOptimizationResultsDataSource> source(data);
    ComPtr<IOptimizationResultsDataColumns> columns(data);
    if (!source || !columns)
        fuzz::Fail("a loaded object without its interfaces");
    ULONG inputs = 0, functions = 0, records = 0;
    source->GetInputCount(&inputs);
    source->GetFunctionCount(&functions);
    source->GetRecordCount(&records);
    Columns c;
    for (ULONG i = 0; i < inputs; ++i) {
        std::wstring signal, name;
        const std::uint32_t* idx = nullptr;
        const double* values = nullptr;
        ULONG n = 0, distinct = 0;
        if (source->GetSignalName(i, &signal) != S_OK || source->GetInputName(i, &name) != S_OK ||
            columns->GetInputValueIndexColumn(i, &idx, &n) != S_OK || n != records ||
            columns->GetInputDistinctValues(i, &values, &distinct) != S_OK)
            fuzz::Fail("an input cannot be read");
        c.names.push_back(signal + L":" + name);
        c.indices.emplace_back(idx, idx + n);
        c.distinct.emplace_back(values, values + distinct);
        for (ULONG r = 0; r < records; ++r) {
            double v = NAN;
            if (idx[r] >= distinct || source->GetInputValue(r, i, &v) != S_OK || !std::isfinite(v) ||
                v != values[idx[r]])
                fuzz::Fail("an input value and its index disagree");
        }
    }
    for (ULONG f = 0; f < functions; ++f) {
        std::wstring name;
        const double* values = nullptr;
        ULONG n = 0;
        if (source->GetFunctionName(f, &name) != S_OK || columns->GetFunctionValueColumn(f, &values, &n) != S_OK ||
            n != records)
            fuzz::Fail("a function cannot be read");
        c.names.push_back(name);
        c.functions.emplace_back(values, values + n);
        for (ULONG r = 0; r < n; ++r)
            if (!std::isfinite(values[r]))
                fuzz::Fail("a function value that is not finite");
    }
    return c;
}

// The loaded object, or null with the error text checked.
ComPtr<IUnknown> Load(IOptimizationResultsDataProvider* provider, const std::wstring& path)
{
    IUnknown* data = nullptr;
    const HRESULT hr = provider->Load(path, &data);
    ComPtr<IUnknown> loaded(data);
    if (data)
        data->Release();
    if (SUCCEEDED(hr) != bool(loaded))
        fuzz::Fail("Load's result and its object disagree");
    if (FAILED(hr)) {
        platform::IErrorInfo* info = nullptr;
        std::wstring text;
        if (platform::GetErrorInfo(0, &info) == S_OK && info) {
            info->GetDescription(&text);
            info->Release();
        }
        if (text.rfind(L"The file \"" + path + L"\"", 0) != 0)
            fuzz::Fail("a failed load without a message naming the file: " + ors::ToUtf8(text));
    }
    return loaded;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    const std::wstring path = fuzz::InputFile(data, size);
    const ComPtr<IUnknown> loaded = Load(provider.Get(), path);
    if (!loaded)
        return 0;
    const Columns first = ReadBack(loaded.Get());
    const ComPtr<IOptimizationResultsDataSaver> saver(loaded.Get());
    if (!saver || saver->Save(fuzz::SavePath()) != S_OK)
        fuzz::Fail("what loaded cannot be saved");
    const ComPtr<IUnknown> again = Load(provider.Get(), fuzz::SavePath());
    if (!again || !(ReadBack(again.Get()) == first))
        fuzz::Fail("saved and loaded again, the columns differ");
    return 0;
}
