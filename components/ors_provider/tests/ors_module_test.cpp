// The component as the program sees it: created by the loader from its class
// id through the registration file, loading the committed samples.
#include "OrsTestSupport.h"

#include "platform/loader.h"

#include <set>

using namespace orstest;

namespace {

fs::path sourceDir()
{
    const char* dir = std::getenv("VANTIX_SOURCE_DIR");
    return dir && *dir ? fs::path(dir) : fs::path(VANTIX_SOURCE_FALLBACK);
}

ComPtr<IOptimizationResultsDataProvider> createProvider()
{
    IUnknown* unknown = nullptr;
    const HRESULT hr = platform::CoCreateInstance(CLSID_OptimizationResultsDataProvider, nullptr,
                                                  platform::CLSCTX_ALL, platform::uuidof<IUnknown>(),
                                                  reinterpret_cast<void**>(&unknown));
    EXPECT_EQ(hr, S_OK) << "registration file " << platform::RegistrationFilePath();
    if (FAILED(hr))
        return {};
    EXPECT_EQ(platform::OleRun(unknown), S_OK);
    ComPtr<IOptimizationResultsDataProvider> provider(unknown);
    unknown->Release();
    return provider;
}

} // namespace

TEST(OrsModule, LoaderCreatesTheProviderWhichLoadsTheSamples)
{
    auto provider = createProvider();
    ASSERT_TRUE(provider);
    ComPtr<platform::ISupportErrorInfo> support(provider);
    ASSERT_TRUE(support);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(platform::uuidof<IOptimizationResultsDataProvider>()), S_OK);

    auto surface = load(provider.Get(), (sourceDir() / "samples" / "filter-tuning.ors").wstring());
    ASSERT_EQ(surface.hr, S_OK) << std::string(surface.error.begin(), surface.error.end());
    const Loaded s = readBack(surface.source.Get());
    EXPECT_EQ(s.inputs.size(), 4u);
    EXPECT_EQ(s.functions.size(), 2u);
    EXPECT_GE(std::set(s.signals.begin(), s.signals.end()).size(), 2u);
    EXPECT_TRUE(s.dataType == 0 || s.dataType == 1);
    EXPECT_GT(s.records, 1000u);
    // A full-factorial design with holes: fewer records than combinations.
    std::uint64_t combinations = 1;
    for (const auto& d : s.distinct)
        combinations *= d.size();
    EXPECT_LT(s.records, combinations);

    auto cloud = load(provider.Get(), (sourceDir() / "samples" / "point-cloud.ors").wstring());
    ASSERT_EQ(cloud.hr, S_OK);
    EXPECT_EQ(readBack(cloud.source.Get()).dataType, 2);
}

TEST(OrsModule, FailedLoadThroughTheModuleSetsTheErrorObject)
{
    auto provider = createProvider();
    ASSERT_TRUE(provider);
    TempDir dir;
    const auto r = load(provider.Get(), (dir / "absent.ors").wstring());
    EXPECT_EQ(r.hr, E_FAIL);
    EXPECT_EQ(r.error, fileText(dir / "absent.ors") + L" could not be read: No such file or directory.");
    EXPECT_EQ(provider->Load(L"x.ors", nullptr), E_POINTER);
}
