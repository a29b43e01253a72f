#include "platform/comptr.h"
#include "platform/loader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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

HRESULT makeThing(int id, REFIID iid, void** ppv)
{
    auto t = MakeCom<Thing>(id);
    return t->QueryInterface(iid, ppv);
}

struct EnvGuard {
    std::string old;
    bool had;
    explicit EnvGuard(const std::string& value)
    {
        const char* o = std::getenv("VANTIX_COMPONENTS");
        had = o != nullptr;
        if (had) old = o;
        setenv("VANTIX_COMPONENTS", value.c_str(), 1);
    }
    ~EnvGuard()
    {
        if (had) setenv("VANTIX_COMPONENTS", old.c_str(), 1);
        else unsetenv("VANTIX_COMPONENTS");
    }
};

} // namespace

TEST(Loader, InProcessFactoriesNestAndUnregister)
{
    IThing* p = nullptr;
    EnvGuard env("/nonexistent/registration.conf");
    EXPECT_EQ(CreateInstance(kClsid, &p), REGDB_E_CLASSNOTREG);
    {
        FactoryRegistration outer(kClsid, [](REFIID iid, void** ppv) { return makeThing(1, iid, ppv); });
        {
            FactoryRegistration inner(kClsid, [](REFIID iid, void** ppv) { return makeThing(2, iid, ppv); });
            ASSERT_EQ(CreateInstance(kClsid, &p), S_OK);
            EXPECT_EQ(ComPtr<IThing>::Attach(p)->Id(), 2);
        }
        ASSERT_EQ(CreateInstance(kClsid, &p), S_OK);
        EXPECT_EQ(ComPtr<IThing>::Attach(p)->Id(), 1);
        auto outerObj = MakeCom<Thing>(0);
        void* agg = nullptr;
        EXPECT_EQ(CoCreateInstance(kClsid, static_cast<IThing*>(outerObj.Get()), CLSCTX_ALL, uuidof<IThing>(), &agg),
                  CLASS_E_NOAGGREGATION);
    }
    EXPECT_EQ(CreateInstance(kClsid, &p), REGDB_E_CLASSNOTREG);
}

TEST(Loader, RegistrationFileResolvesRelativePaths)
{
    const auto dir = std::filesystem::temp_directory_path() / "vantix-loader-test";
    std::filesystem::create_directories(dir);
    const auto conf = dir / "reg.conf";
    {
        std::ofstream out(conf);
        out << "# comment line\n"
            << "  {7E570001-0002-0003-0405-060708090A0B} = sub/libthing.so  # trailing\n"
            << "garbage line\n";
    }
    EnvGuard env(conf.string());
    auto path = RegisteredModulePath(kClsid);
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, dir / "sub/libthing.so");
    // Registered but missing module: not available, not a crash.
    IThing* p = nullptr;
    EXPECT_EQ(CreateInstance(kClsid, &p), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(p, nullptr);
    std::filesystem::remove_all(dir);
}
