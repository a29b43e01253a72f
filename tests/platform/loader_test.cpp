#include "platform/comptr.h"
#include "platform/loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace platform;

namespace {

struct IThing : IUnknown {
    VANTIX_INTERFACE_ID(0x7E57, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1);
    virtual int Id() = 0;
};
class Thing final : public ComObject<IThing> {
public:
    explicit Thing(int id) : m_id(id) {}
    int Id() override { return m_id; }
    int m_id;
};
constexpr CLSID kClsid{0x7E570001, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};

ComponentFactory MakeThing(int id)
{
    return [id](REFIID iid, void** ppv) { return MakeCom<Thing>(id)->QueryInterface(iid, ppv); };
}

int CreatedId()
{
    IThing* p = nullptr;
    const HRESULT hr = CreateInstance(kClsid, &p);
    return hr == S_OK ? ComPtr<IThing>::Attach(p)->Id() : hr;
}

// Points the component registration file elsewhere for one test.
struct RegistrationFile {
    explicit RegistrationFile(const std::string& path) { setenv("VANTIX_COMPONENTS", path.c_str(), 1); }
    ~RegistrationFile() { old ? setenv("VANTIX_COMPONENTS", old->c_str(), 1) : unsetenv("VANTIX_COMPONENTS"); }
    const std::optional<std::string> old =
        std::getenv("VANTIX_COMPONENTS") ? std::optional<std::string>(std::getenv("VANTIX_COMPONENTS")) : std::nullopt;
};

} // namespace

TEST(Loader, InProcessFactoriesNestAndUnregister)
{
    RegistrationFile file("/nonexistent/registration.conf");
    EXPECT_EQ(CreatedId(), REGDB_E_CLASSNOTREG);
    {
        FactoryRegistration outer(kClsid, MakeThing(1));
        {
            FactoryRegistration inner(kClsid, MakeThing(2));
            EXPECT_EQ(CreatedId(), 2);
        }
        EXPECT_EQ(CreatedId(), 1);
        auto outerObj = MakeCom<Thing>(0);
        void* agg = nullptr;
        EXPECT_EQ(CoCreateInstance(kClsid, static_cast<IThing*>(outerObj.Get()), CLSCTX_ALL, uuidof<IThing>(), &agg),
                  CLASS_E_NOAGGREGATION);
    }
    EXPECT_EQ(CreatedId(), REGDB_E_CLASSNOTREG);
}

TEST(Loader, RegistrationFileResolvesRelativePaths)
{
    const auto dir = std::filesystem::temp_directory_path() / "vantix-loader-test";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "reg.conf") << "# comment line\n"
                                    << "  {7E570001-0002-0003-0405-060708090A0B} = sub/libthing.so  # trailing\n"
                                    << "garbage line\n";
    RegistrationFile file((dir / "reg.conf").string());
    EXPECT_EQ(RegisteredModulePath(kClsid), dir / "sub/libthing.so");
    // Registered but missing module: not available, not a crash.
    EXPECT_EQ(CreatedId(), CLASS_E_CLASSNOTAVAILABLE);
    std::filesystem::remove_all(dir);
}
