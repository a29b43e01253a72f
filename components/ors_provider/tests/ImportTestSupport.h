#pragma once
// Helpers of the importer tests: loading with options, error texts, and the
// converter.
#include "OrsTestSupport.h"
#include "support/OptunaSchema.h"

#include "import/Import.h"

#include "platform/loader.h"

#include <gmock/gmock.h>

#include <cstdio>

#include <sys/wait.h>

namespace importtest {

using namespace orstest;
using vantix::test::kOptunaSchema;

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

// Loads through the provider's Load; fails the test when it fails.
inline Loaded loadOk(const fs::path& path, const LoadOptions& o = {}, LoadChoice* pChoice = nullptr)
{
    const auto r = loadWith(path, o, pChoice);
    EXPECT_EQ(r.hr, S_OK) << std::string(r.error.begin(), r.error.end());
    return r.source ? readBack(r.source.Get()) : Loaded{};
}

// The text after "The file "<path>"" of a load that must fail.
inline std::wstring errorTail(const fs::path& path, const LoadOptions& o = {})
{
    const auto r = loadWith(path, o);
    EXPECT_TRUE(FAILED(r.hr) && !r.source);
    const std::wstring head = fileText(path);
    EXPECT_EQ(r.error.substr(0, head.size()), head);
    return r.error.size() >= head.size() ? r.error.substr(head.size()) : r.error;
}

// A number as a cell or SQL literal that reads back exactly.
inline std::string numberText(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

struct OptunaParam {
    std::string name;
    double value;
    std::string distribution; // JSON
};

// SQL adding one trial of an Optuna storage with its parameters and objective values.
inline std::string optunaTrial(int id, int number, int study, const std::string& state,
                               const std::vector<OptunaParam>& params, const std::vector<double>& values = {})
{
    const std::string tid = std::to_string(id);
    std::string sql = "INSERT INTO trials VALUES (" + tid + ", " + std::to_string(number) + ", " +
                      std::to_string(study) + ", '" + state + "', NULL, NULL);";
    // Row ids of their own, clear of the small ones tests insert by hand.
    const auto rowId = [&](std::size_t k) { return std::to_string(1000000 + id * 100 + int(k)); };
    for (std::size_t k = 0; k < params.size(); ++k)
        sql += "INSERT INTO trial_params VALUES (" + rowId(k) + ", " + tid + ", '" + params[k].name + "', " +
               numberText(params[k].value) + ", '" + params[k].distribution + "');";
    for (std::size_t k = 0; k < values.size(); ++k)
        sql += "INSERT INTO trial_values VALUES (" + rowId(k) + ", " + tid + ", " + std::to_string(k) + ", " +
               numberText(values[k]) + ", 'FINITE');";
    return sql;
}

// vantix-convert's exit status; what it wrote is kept in dir/log.
inline int runConverter(const fs::path& dir, const std::string& args)
{
    const auto exe = platform::ExecutableDirectory() / "vantix-convert";
    const int status = std::system((exe.string() + " " + args + " > '" + (dir / "log").string() + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace importtest
