#pragma once
// Shared helpers of the data provider tests: a private temporary folder, a
// small valid file, Load returning either the data or the error text, and a
// loaded source read back as plain columns.
#include "OrsDataProvider.h"
#include "Sqlite.h"

#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataColumns.h"
#include "ors_provider/ILoadReport.h"
#include "platform/comptr.h"
#include "platform/errorinfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orstest {

namespace fs = std::filesystem;
using namespace IQX_VantixDataProvider;

class TempDir {
public:
    TempDir()
    {
        const char* base = std::getenv("VANTIX_TEST_TMP");
        const fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path();
        fs::create_directories(root);
        std::string pattern = (root / "ors-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
    }
    ~TempDir()
    {
        // Kept on request: the fuzz targets' seeds are the files the tests make.
        if (const char* keep = std::getenv("VANTIX_KEEP_TEST_FILES"); keep && *keep == '1')
            return;
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

// Columns of a small data set: input-major values for the writer.
struct Sample {
    ors::OrsHeader header;
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> functions;

    void write(const fs::path& path) const
    {
        std::vector<const double*> in, fn;
        for (const auto& c : inputs)
            in.push_back(c.data());
        for (const auto& c : functions)
            fn.push_back(c.data());
        ors::WriteOrsFile(path.wstring(), header, in, fn);
    }
};

// 3 x 4 grid of (a, b) over two signals with one hole, f = a * 10 + b.
inline Sample smallSample(std::int32_t dataType = 0)
{
    Sample s;
    s.header.dataType = dataType;
    s.header.creator = "test";
    s.header.created = "2024-01-02T03:04:05Z";
    s.header.inputs = {{"Filter", "Cutoff"}, {"Notch", "Q"}};
    s.header.functions = {"Error", "Lag"};
    s.inputs.resize(2);
    s.functions.resize(2);
    for (double a : {100.0, 200.0, 300.0})
        for (double b : {0.5, 1.0, 2.0, 4.0}) {
            if (a == 200.0 && b == 2.0)
                continue; // not evaluated
            s.inputs[0].push_back(a);
            s.inputs[1].push_back(b);
            s.functions[0].push_back(a * 10 + b);
            s.functions[1].push_back(-b);
        }
    s.header.recordCount = std::uint32_t(s.inputs[0].size());
    return s;
}

inline std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// The description of the thread's error object ("" when there is none).
inline std::wstring errorInfoText()
{
    platform::IErrorInfo* info = nullptr;
    std::wstring text;
    if (platform::GetErrorInfo(0, &info) == S_OK && info) {
        info->GetDescription(&text);
        info->Release();
    }
    return text;
}

struct LoadResult {
    HRESULT hr = E_FAIL;
    ComPtr<IOptimizationResultsDataSource> source;
    std::wstring error;
};

inline LoadResult load(IOptimizationResultsDataProvider* provider, const std::wstring& path)
{
    LoadResult r;
    IUnknown* data = nullptr;
    r.hr = provider->Load(path, &data);
    if (SUCCEEDED(r.hr)) {
        r.source = ComPtr<IOptimizationResultsDataSource>(data);
        data->Release();
        return r;
    }
    EXPECT_EQ(data, nullptr);
    r.error = errorInfoText();
    return r;
}

inline LoadResult load(const fs::path& path)
{
    auto provider = platform::MakeCom<ors::COptimizationResultsDataProvider>();
    return load(provider.Get(), path.wstring());
}

// Runs SQL on an existing file, for building damaged and foreign files.
inline void execSql(const fs::path& path, const std::string& sql)
{
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open(path.c_str(), &raw);
    const ors::sqlite::Db db(raw);
    ASSERT_EQ(opened, SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : "";
    sqlite3_free(message);
    ASSERT_EQ(rc, SQLITE_OK) << text << " in " << sql;
}

// Everything a load hands back, read through the source interfaces.
struct Loaded {
    std::vector<std::wstring> signals, inputs, functions;
    std::vector<std::vector<double>> inputValues;    // [input][record]
    std::vector<std::vector<double>> functionValues; // [function][record]
    std::vector<std::vector<std::uint64_t>> indices; // [input][record]
    std::vector<std::vector<double>> distinct;       // [input][value index]
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
    bool operator==(const Loaded&) const = default;

    std::vector<std::wstring> fullInputNames() const
    {
        std::vector<std::wstring> names(inputs.size());
        std::transform(signals.begin(), signals.end(), inputs.begin(), names.begin(),
                       [](const auto& s, const auto& n) { return s + L":" + n; });
        return names;
    }
};

inline bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Reads every getter, and checks that they agree with each other: each
// value is its index's distinct value bit for bit, the distinct values
// ascend, and the column views hold exactly what the getters give.
inline Loaded readBack(IOptimizationResultsDataSource* source)
{
    Loaded l;
    ULONG nIn = 0, nFn = 0;
    EXPECT_TRUE(source->GetInputCount(&nIn) == S_OK && source->GetFunctionCount(&nFn) == S_OK &&
                source->GetRecordCount(&l.records) == S_OK && source->GetDataType(&l.dataType) == S_OK);
    ComPtr<IOptimizationResultsDataSourceEx> ex(source);
    ComPtr<IOptimizationResultsDataColumns> columns(source);
    ComPtr<IOptimizationResultsDataMeaning> meaning(source);
    ComPtr<IOptimizationResultsLoadReport> report(source);
    EXPECT_TRUE(ex && columns && meaning);
    EXPECT_TRUE(report && report->GetSkippedRecordCount(&l.skipped) == S_OK);
    if (!ex || !columns || !meaning)
        return l;
    for (ULONG i = 0; i < nIn; ++i) {
        std::wstring s, n;
        source->GetSignalName(i, &s);
        source->GetInputName(i, &n);
        l.signals.push_back(s);
        l.inputs.push_back(n);
        auto& distinct = l.distinct.emplace_back();
        for (double v = 0; ex->GetInputValueByIndex(distinct.size(), i, &v) == S_OK;)
            distinct.push_back(v);
        EXPECT_TRUE(std::adjacent_find(distinct.begin(), distinct.end(), std::greater_equal<>()) == distinct.end());
        auto& values = l.inputValues.emplace_back();
        auto& indices = l.indices.emplace_back();
        for (ULONG r = 0; r < l.records; ++r) {
            double v = 0;
            std::uint64_t index = 0;
            EXPECT_TRUE(source->GetInputValue(r, i, &v) == S_OK && ex->GetInputValueIndex(r, i, &index) == S_OK &&
                        index < distinct.size() && sameBits(distinct[index], v))
                << "input " << i << " record " << r;
            values.push_back(v);
            indices.push_back(index);
        }
        const std::uint32_t* keys = nullptr;
        const double* view = nullptr;
        ULONG nKeys = ~0u, nDistinct = ~0u;
        EXPECT_TRUE(columns->GetInputValueIndexColumn(i, &keys, &nKeys) == S_OK && nKeys == l.records &&
                    std::equal(indices.begin(), indices.end(), keys));
        EXPECT_TRUE(columns->GetInputDistinctValues(i, &view, &nDistinct) == S_OK && nDistinct == distinct.size() &&
                    std::equal(distinct.begin(), distinct.end(), view, sameBits));

        auto& labels = l.labels.emplace_back();
        for (std::uint64_t k = 0; k < distinct.size(); ++k) {
            std::wstring label;
            const HRESULT hr = meaning->GetInputValueLabel(i, k, &label);
            EXPECT_TRUE(hr == S_OK || (hr == S_FALSE && label.empty()));
            labels.push_back(label);
        }
        l.labelled.push_back(meaning->IsInputLabelled(i) == S_OK);
        std::uint64_t none = 0;
        l.noneIndex.push_back(meaning->GetInputNoneIndex(i, &none) == S_OK ? (long long)none : -1);
        LONG scale = -1;
        EXPECT_EQ(meaning->GetInputScale(i, &scale), S_OK);
        l.scales.push_back(scale);
    }
    for (ULONG f = 0; f < nFn; ++f) {
        LONG scale = -1, direction = -1;
        EXPECT_TRUE(meaning->GetFunctionScale(f, &scale) == S_OK && meaning->GetFunctionDirection(f, &direction) == S_OK);
        l.functionScales.push_back(scale);
        l.directions.push_back(direction);
        std::wstring n;
        source->GetFunctionName(f, &n);
        l.functions.push_back(n);
        auto& values = l.functionValues.emplace_back();
        for (ULONG r = 0; r < l.records; ++r) {
            double v = 0;
            EXPECT_EQ(source->GetFunctionValue(r, f, &v), S_OK);
            values.push_back(v);
        }
        const double* view = nullptr;
        ULONG nView = ~0u;
        EXPECT_TRUE(columns->GetFunctionValueColumn(f, &view, &nView) == S_OK && nView == l.records && std::equal(values.begin(), values.end(), view, sameBits)) << "function " << f;
    }
    return l;
}

inline std::wstring fileText(const fs::path& path)
{
    return L"The file \"" + path.wstring() + L"\"";
}

} // namespace orstest
