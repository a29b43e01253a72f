#pragma once
// A GoogleMock data source. By default it answers from a table of records like
// a real provider (out-of-range arguments give E_INVALIDARG); tests override
// single calls with ON_CALL / EXPECT_CALL.
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace vantix::test {

using namespace IQX_VantixDataProvider;

struct DataTable {
    LONG type = 0;
    std::vector<std::wstring> inputNames;
    std::vector<std::wstring> signalNames;
    std::vector<std::wstring> functionNames;
    // Per record: the value index of every input, and every function's value.
    std::vector<std::vector<std::uint64_t>> indices;
    std::vector<std::vector<double>> functions;
    // What the values mean (IOptimizationResultsDataMeaning), per input: the
    // labels by value index of a labelled input (empty: numeric), the value
    // index of "(none)" (absent: every record has the input).
    std::vector<std::vector<std::wstring>> labels;
    std::map<ULONG, std::uint64_t> noneIndex;

    // Value of input n at value index k: distinct per input, ascending in k.
    static double Value(ULONG input, std::uint64_t k) { return 100.0 * input + 0.5 * static_cast<double>(k); }

    // Inputs "in0".., signals "sig0".., functions "f0".., one function.
    static DataTable Make(std::size_t inputs, std::vector<std::vector<std::uint64_t>> records)
    {
        DataTable t;
        for (std::size_t n = 0; n < inputs; ++n) {
            t.inputNames.push_back(L"in" + std::to_wstring(n));
            t.signalNames.push_back(L"sig" + std::to_wstring(n));
        }
        t.functionNames = {L"f0", L"f1"};
        for (std::size_t r = 0; r < records.size(); ++r)
            t.functions.push_back({1000.0 + static_cast<double>(r), 2000.0 + static_cast<double>(r)});
        t.indices = std::move(records);
        return t;
    }
};

class MockDataSource : public platform::ComObject<IOptimizationResultsDataSource, IOptimizationResultsDataSourceEx,
                                                   IOptimizationResultsDataSaver, IOptimizationResultsDataMeaning> {
public:
    // The meaning answers from the table, like a provider.
    HRESULT GetInputValueLabel(ULONG input, std::uint64_t index, std::wstring* pLabel) override
    {
        pLabel->clear();
        const auto none = table.noneIndex.find(input);
        if (none != table.noneIndex.end() && none->second == index)
            *pLabel = kNoneLabel;
        else if (input < table.labels.size() && index < table.labels[input].size())
            *pLabel = table.labels[input][index];
        return pLabel->empty() ? S_FALSE : S_OK;
    }
    HRESULT IsInputLabelled(ULONG input) override
    {
        return input < table.labels.size() && !table.labels[input].empty() ? S_OK : S_FALSE;
    }
    HRESULT GetInputNoneIndex(ULONG input, std::uint64_t* pIndex) override
    {
        const auto none = table.noneIndex.find(input);
        if (none == table.noneIndex.end())
            return S_FALSE;
        *pIndex = none->second;
        return S_OK;
    }
    HRESULT GetInputScale(ULONG, LONG* pScale) override { return *pScale = kScaleLinear, S_OK; }
    HRESULT GetFunctionScale(ULONG, LONG* pScale) override { return *pScale = kScaleLinear, S_OK; }
    HRESULT GetFunctionDirection(ULONG, LONG* pDirection) override { return *pDirection = kDirectionMinimize, S_OK; }

    MOCK_METHOD(HRESULT, GetInputCount, (ULONG*), (override));
    MOCK_METHOD(HRESULT, GetFunctionCount, (ULONG*), (override));
    MOCK_METHOD(HRESULT, GetInputName, (ULONG, std::wstring*), (override));
    MOCK_METHOD(HRESULT, GetFunctionName, (ULONG, std::wstring*), (override));
    MOCK_METHOD(HRESULT, GetRecordCount, (ULONG*), (override));
    MOCK_METHOD(HRESULT, GetInputValue, (ULONG, ULONG, double*), (override));
    MOCK_METHOD(HRESULT, GetFunctionValue, (ULONG, ULONG, double*), (override));
    MOCK_METHOD(HRESULT, GetDataType, (LONG*), (override));
    MOCK_METHOD(HRESULT, GetSignalName, (ULONG, std::wstring*), (override));
    MOCK_METHOD(HRESULT, GetInputValueIndex, (ULONG, ULONG, std::uint64_t*), (override));
    MOCK_METHOD(HRESULT, GetInputValueByIndex, (std::uint64_t, ULONG, double*), (override));
    MOCK_METHOD(HRESULT, Save, (const std::wstring&), (override));

    // Interfaces the object refuses, and the code of the refusal.
    bool refuseSource = false;
    bool refuseSourceEx = false;
    bool refuseSaver = false;
    HRESULT refusal = E_NOINTERFACE;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if ((refuseSource && riid == platform::uuidof<IOptimizationResultsDataSource>()) ||
            (refuseSourceEx && riid == platform::uuidof<IOptimizationResultsDataSourceEx>()) ||
            (refuseSaver && riid == platform::uuidof<IOptimizationResultsDataSaver>())) {
            if (ppv)
                *ppv = nullptr;
            return refusal;
        }
        return ComObject::QueryInterface(riid, ppv);
    }

    ULONG References() const { return RefCount(); }

    // Default answers from the table (kept by value).
    void Serve(DataTable table);
    DataTable table;
};

inline void MockDataSource::Serve(DataTable t)
{
    using ::testing::_;
    using ::testing::Invoke;
    table = std::move(t);
    // Reads through a table lookup that answers E_INVALIDARG for arguments out of range.
    const auto answer = [](auto read) {
        return Invoke([read](auto... args) {
            auto* out = std::get<sizeof...(args) - 1>(std::tuple(args...));
            if (!out)
                return E_POINTER;
            const auto value = read(args...);
            if (!value)
                return E_INVALIDARG;
            *out = *value;
            return S_OK;
        });
    };
    const auto count = [](const auto& list) { return std::optional(ULONG(list.size())); };
    const auto at = [](const auto& list, std::size_t n) {
        return n < list.size() ? std::optional(list[n]) : std::nullopt;
    };
    const auto index = [this](ULONG r, ULONG n) {
        return r < table.indices.size() && n < table.inputNames.size() ? std::optional(table.indices[r][n])
                                                                        : std::nullopt;
    };
    ON_CALL(*this, GetInputCount(_)).WillByDefault(answer([=, this](auto) { return count(table.inputNames); }));
    ON_CALL(*this, GetFunctionCount(_)).WillByDefault(answer([=, this](auto) { return count(table.functionNames); }));
    ON_CALL(*this, GetRecordCount(_)).WillByDefault(answer([=, this](auto) { return count(table.indices); }));
    ON_CALL(*this, GetDataType(_)).WillByDefault(answer([this](auto) { return std::optional(table.type); }));
    ON_CALL(*this, GetInputName(_, _))
        .WillByDefault(answer([=, this](ULONG n, auto) { return at(table.inputNames, n); }));
    ON_CALL(*this, GetSignalName(_, _))
        .WillByDefault(answer([=, this](ULONG n, auto) { return at(table.signalNames, n); }));
    ON_CALL(*this, GetFunctionName(_, _))
        .WillByDefault(answer([=, this](ULONG n, auto) { return at(table.functionNames, n); }));
    ON_CALL(*this, GetInputValueIndex(_, _, _))
        .WillByDefault(answer([=](ULONG r, ULONG n, auto) { return index(r, n); }));
    ON_CALL(*this, GetInputValue(_, _, _)).WillByDefault(answer([=](ULONG r, ULONG n, auto) {
        const auto k = index(r, n);
        return k ? std::optional(DataTable::Value(n, *k)) : std::nullopt;
    }));
    ON_CALL(*this, GetInputValueByIndex(_, _, _)).WillByDefault(answer([this](std::uint64_t k, ULONG n, auto) {
        return n < table.inputNames.size() ? std::optional(DataTable::Value(n, k)) : std::nullopt;
    }));
    ON_CALL(*this, GetFunctionValue(_, _, _)).WillByDefault(answer([=, this](ULONG r, ULONG f, auto) {
        return r < table.functions.size() ? at(table.functions[r], f) : std::nullopt;
    }));
}

// A nice mock serving the table, held by one reference.
inline ComPtr<::testing::NiceMock<MockDataSource>> MakeSource(DataTable table)
{
    auto sp = platform::MakeCom<::testing::NiceMock<MockDataSource>>();
    sp->Serve(std::move(table));
    return sp;
}

} // namespace vantix::test
