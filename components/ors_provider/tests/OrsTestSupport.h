#pragma once
// Shared helpers of the data provider tests: a private temporary folder, a
// small valid file, and Load returning either the data or the error text.
#include "OrsDataProvider.h"

#include "platform/comptr.h"
#include "platform/errorinfo.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
        fs::path root = base && *base ? fs::path(base) : fs::temp_directory_path();
        fs::create_directories(root);
        std::string pattern = (root / "ors-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
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
    ComPtr<platform::ISupportErrorInfo> support(provider);
    EXPECT_TRUE(support);
    if (support) {
        EXPECT_EQ(support->InterfaceSupportsErrorInfo(platform::uuidof<IOptimizationResultsDataProvider>()), S_OK);
    }
    platform::IErrorInfo* info = nullptr;
    if (platform::GetErrorInfo(0, &info) == S_OK && info) {
        info->GetDescription(&r.error);
        info->Release();
    }
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
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << text << " in " << sql;
}

inline std::wstring fileText(const fs::path& path)
{
    return L"The file \"" + path.wstring() + L"\"";
}

} // namespace orstest
