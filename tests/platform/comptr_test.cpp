#include "platform/comptr.h"
#include "platform/errorinfo.h"
#include "support/ComErrorOf.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;
using vantix::test::ComErrorOf;

namespace {

struct IAlpha : IUnknown {
    VANTIX_INTERFACE_ID(0xA1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);
    virtual int Value() = 0;
};
struct IBeta : IUnknown {
    VANTIX_INTERFACE_ID(0xB1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);
    virtual int Other() = 0;
};
struct IGamma : IUnknown {
    VANTIX_INTERFACE_ID(0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);
};

int g_alive = 0;

class Both final : public ComObject<IAlpha, IBeta> {
public:
    Both() { ++g_alive; }
    ~Both() override { --g_alive; }
    int Value() override { return 7; }
    int Other() override { return 9; }
    ULONG Count() const { return RefCount(); }
};

// Answers a query for IBeta with a failure other than E_NOINTERFACE.
class Broken final : public ComObject<IAlpha> {
public:
    int Value() override { return 0; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return riid == uuidof<IBeta>() ? E_OUTOFMEMORY : ComObject::QueryInterface(riid, ppv);
    }
};

} // namespace

TEST(ComPtr, CountsReferencesAndDestroysAtZero)
{
    {
        auto obj = MakeCom<Both>();
        EXPECT_EQ(g_alive, 1);
        ComPtr<Both> copy = obj;
        ComPtr<IBeta> beta(static_cast<IAlpha*>(obj.Get()));
        ASSERT_TRUE(beta);
        EXPECT_EQ(beta->Other(), 9);
        EXPECT_EQ(obj->Count(), 3u);
        EXPECT_EQ(ComPtr<IUnknown>(static_cast<IAlpha*>(obj.Get())).Get(), ComPtr<IUnknown>(beta).Get()); // one identity
    }
    EXPECT_EQ(g_alive, 0);
}

// E_NOINTERFACE leaves the pointer empty; other failures, and calls through an empty pointer, throw.
TEST(ComPtr, FailuresThrowTheirCode)
{
    auto both = MakeCom<Both>();
    EXPECT_FALSE(ComPtr<IGamma>(static_cast<IAlpha*>(both.Get())));
    auto broken = MakeCom<Broken>();
    EXPECT_EQ(ComErrorOf([&] { ComPtr<IBeta> b(static_cast<IAlpha*>(broken.Get())); }), E_OUTOFMEMORY);
    EXPECT_EQ(ComErrorOf([] { ComPtr<IAlpha>()->Value(); }), E_POINTER);
}

TEST(ErrorInfo, IsPerThreadAndTakenOnce)
{
    SetErrorDescription(L"bad file");
    std::thread([] {
        IErrorInfo* p = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &p), S_FALSE);
    }).join();
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    std::wstring text;
    ComPtr<IErrorInfo>::Attach(raw)->GetDescription(&text);
    EXPECT_EQ(text, L"bad file");
    EXPECT_EQ(GetErrorInfo(0, &raw), S_FALSE);
    EXPECT_EQ(raw, nullptr);
}
