#pragma once
// Helpers of the importer tests: loading with options, error texts, and the
// converter.
#include "OrsTestSupport.h"
#include "support/OptunaSchema.h"

#include "import/Import.h"

#include "platform/loader.h"

#include <gmock/gmock.h>

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

// vantix-convert run with its output kept in dir/log.
class Converter {
public:
    explicit Converter(const fs::path& dir) : m_dir(dir) {}
    // Its exit status.
    int run(const std::string& args) const
    {
        const auto exe = platform::ExecutableDirectory() / "vantix-convert";
        const int status = std::system((exe.string() + " " + args + " > '" + (m_dir / "log").string() + "' 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string log() const { return readBytes(m_dir / "log"); }

private:
    fs::path m_dir;
};

} // namespace importtest
