#pragma once
// Helpers of the importer tests: writing small files of other tools' formats
// and reading a loaded source back as plain columns.
#include "OrsTestSupport.h"
#include "support/OptunaSchema.h"

#include "import/Import.h"
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/ILoadReport.h"

#include <gmock/gmock.h>

#include <fstream>

namespace importtest {

using namespace orstest;
using vantix::test::kOptunaSchema;

inline void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(), std::streamsize(text.size()));
}


// Everything a load hands back, read through the source interfaces.
struct Loaded {
    std::vector<std::wstring> signals, inputs, functions;
    std::vector<std::vector<double>> inputValues;    // [input][record]
    std::vector<std::vector<double>> functionValues; // [function][record]
    std::vector<std::vector<std::uint64_t>> indices; // [input][record]
    LONG dataType = -1;
    ULONG records = 0;
    ULONG skipped = 0; // failed evaluations left out
    // What the values mean: per input its value labels by value index ("" for
    // a plain number), whether it is labelled, its "(none)" index (-1: none)
    // and scale; per function its scale and direction.
    std::vector<std::vector<std::wstring>> labels;
    std::vector<bool> labelled;
    std::vector<long long> noneIndex;
    std::vector<LONG> scales, functionScales, directions;

    std::vector<std::wstring> fullInputNames() const
    {
        std::vector<std::wstring> names;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            names.push_back(signals[i] + L":" + inputs[i]);
        return names;
    }
};

inline Loaded readBack(IOptimizationResultsDataSource* source)
{
    Loaded l;
    ULONG nIn = 0, nFn = 0;
    EXPECT_EQ(source->GetInputCount(&nIn), S_OK);
    EXPECT_EQ(source->GetFunctionCount(&nFn), S_OK);
    EXPECT_EQ(source->GetRecordCount(&l.records), S_OK);
    EXPECT_EQ(source->GetDataType(&l.dataType), S_OK);
    ComPtr<IOptimizationResultsDataSourceEx> ex(source);
    ComPtr<IOptimizationResultsLoadReport> report(source);
    EXPECT_TRUE(report && report->GetSkippedRecordCount(&l.skipped) == S_OK);
    for (ULONG i = 0; i < nIn; ++i) {
        std::wstring s, n;
        source->GetSignalName(i, &s);
        source->GetInputName(i, &n);
        l.signals.push_back(s);
        l.inputs.push_back(n);
        l.inputValues.emplace_back();
        l.indices.emplace_back();
        for (ULONG r = 0; r < l.records; ++r) {
            double v = 0;
            std::uint64_t index = 0;
            EXPECT_EQ(source->GetInputValue(r, i, &v), S_OK);
            EXPECT_EQ(ex->GetInputValueIndex(r, i, &index), S_OK);
            double back = 0;
            EXPECT_EQ(ex->GetInputValueByIndex(index, i, &back), S_OK);
            EXPECT_EQ(back, v);
            l.inputValues.back().push_back(v);
            l.indices.back().push_back(index);
        }
    }
    ComPtr<IOptimizationResultsDataMeaning> meaning(source);
    EXPECT_TRUE(meaning);
    for (ULONG i = 0; meaning && i < nIn; ++i) {
        l.labels.emplace_back();
        for (std::uint64_t k = 0;; ++k) {
            double v = 0;
            if (ex->GetInputValueByIndex(k, i, &v) != S_OK)
                break;
            std::wstring label;
            const HRESULT hr = meaning->GetInputValueLabel(i, k, &label);
            EXPECT_TRUE(hr == S_OK || (hr == S_FALSE && label.empty()));
            l.labels.back().push_back(label);
        }
        l.labelled.push_back(meaning->IsInputLabelled(i) == S_OK);
        std::uint64_t none = 0;
        l.noneIndex.push_back(meaning->GetInputNoneIndex(i, &none) == S_OK ? (long long)none : -1);
        LONG scale = -1;
        EXPECT_EQ(meaning->GetInputScale(i, &scale), S_OK);
        l.scales.push_back(scale);
    }
    for (ULONG f = 0; meaning && f < nFn; ++f) {
        LONG scale = -1, direction = -1;
        EXPECT_EQ(meaning->GetFunctionScale(f, &scale), S_OK);
        EXPECT_EQ(meaning->GetFunctionDirection(f, &direction), S_OK);
        l.functionScales.push_back(scale);
        l.directions.push_back(direction);
    }
    for (ULONG f = 0; f < nFn; ++f) {
        std::wstring n;
        source->GetFunctionName(f, &n);
        l.functions.push_back(n);
        l.functionValues.emplace_back();
        for (ULONG r = 0; r < l.records; ++r) {
            double v = 0;
            EXPECT_EQ(source->GetFunctionValue(r, f, &v), S_OK);
            l.functionValues.back().push_back(v);
        }
    }
    return l;
}

// Loads through the provider's Load; fails the test when it fails.
inline Loaded loadOk(const fs::path& path)
{
    const auto r = load(path);
    EXPECT_EQ(r.hr, S_OK) << std::string(r.error.begin(), r.error.end());
    if (!r.source)
        return {};
    return readBack(r.source.Get());
}

// Load options of the provider, set before a load.
struct LoadOptions {
    std::wstring study{};
    std::vector<std::wstring> inputs{}, functions{};
    bool acceptGuess = false;
};

// Loads through a provider with options; *pChoice: its pending choice after.
inline LoadResult loadWith(const fs::path& path, const LoadOptions& o, LoadChoice* pChoice = nullptr)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    ComPtr<IOptimizationResultsLoadOptions> options(provider.Get());
    EXPECT_TRUE(options);
    options->SetStudy(o.study);
    options->SetColumnRoles(o.inputs, o.functions);
    options->SetAcceptGuess(o.acceptGuess ? TRUE : FALSE);
    LoadResult r = load(provider.Get(), path.wstring());
    if (pChoice) {
        EXPECT_EQ(options->GetPendingChoice(pChoice), S_OK);
    }
    return r;
}

inline Loaded loadOk(const fs::path& path, const LoadOptions& o, LoadChoice* pChoice = nullptr)
{
    const auto r = loadWith(path, o, pChoice);
    EXPECT_EQ(r.hr, S_OK) << std::string(r.error.begin(), r.error.end());
    return r.source ? readBack(r.source.Get()) : Loaded{};
}

// The error text of a load that must fail.
inline std::wstring loadError(const fs::path& path)
{
    const auto r = load(path);
    EXPECT_TRUE(FAILED(r.hr));
    EXPECT_FALSE(r.source);
    return r.error;
}

// The text after "The file "<path>"".
inline std::wstring errorTail(const fs::path& path)
{
    const std::wstring e = loadError(path);
    const std::wstring head = fileText(path);
    EXPECT_EQ(e.substr(0, head.size()), head);
    return e.size() >= head.size() ? e.substr(head.size()) : e;
}

} // namespace importtest
