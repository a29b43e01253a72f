#pragma once
// Helpers of the importer tests: writing small files of other tools' formats
// and reading a loaded source back as plain columns.
#include "OrsTestSupport.h"

#include "import/Import.h"
#include "ors_provider/ILoadReport.h"

#include <gmock/gmock.h>

#include <fstream>

namespace importtest {

using namespace orstest;

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
