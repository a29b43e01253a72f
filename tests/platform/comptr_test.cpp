#include "platform/comptr.h"
#include "platform/errorinfo.h"

#include <gtest/gtest.h>

using namespace platform;

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

// Answers every query but IUnknown with a failure other than E_NOINTERFACE.
class Broken final : public ComObject<IAlpha> {
public:
    int Value() override { return 0; }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == uuidof<IBeta>()) return E_OUTOFMEMORY;
        return ComObject::QueryInterface(riid, ppv);
    }
};

} // namespace

TEST(ComPtr, CountsReferencesAndDestroysAtZero)
{
    {
        auto obj = MakeCom<Both>();
        EXPECT_EQ(g_alive, 1);
        EXPECT_EQ(obj->Count(), 1u);
        ComPtr<Both> copy = obj;
        EXPECT_EQ(obj->Count(), 2u);
        ComPtr<IBeta> beta(static_cast<IAlpha*>(obj.Get()));
        ASSERT_TRUE(beta);
        EXPECT_EQ(beta->Other(), 9);
        EXPECT_EQ(obj->Count(), 3u);
        ComPtr<IUnknown> u1(static_cast<IAlpha*>(obj.Get()));
        ComPtr<IUnknown> u2(beta);
        EXPECT_EQ(u1.Get(), u2.Get()) << "identity must be one IUnknown";
    }
    EXPECT_EQ(g_alive, 0);
}

TEST(ComPtr, EmptyPointerThrowsEPointer)
{
    ComPtr<IAlpha> empty;
    try {
        empty->Value();
        FAIL() << "no exception";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), E_POINTER);
    }
}

TEST(ComPtr, QueryFailureOtherThanNoInterfaceThrows)
{
    auto both = MakeCom<Both>();
    ComPtr<IGamma> none(static_cast<IAlpha*>(both.Get()));
    EXPECT_FALSE(none) << "E_NOINTERFACE leaves the pointer empty";

    auto broken = MakeCom<Broken>();
    try {
        ComPtr<IBeta> b(static_cast<IAlpha*>(broken.Get()));
        FAIL() << "no exception";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Error(), E_OUTOFMEMORY);
    }
}

TEST(ErrorInfo, IsPerThreadAndTakenOnce)
{
    SetErrorDescription(L"bad file");
    IErrorInfo* raw = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    auto info = ComPtr<IErrorInfo>::Attach(raw);
    std::wstring text;
    info->GetDescription(&text);
    EXPECT_EQ(text, L"bad file");
    EXPECT_EQ(GetErrorInfo(0, &raw), S_FALSE);
    EXPECT_EQ(raw, nullptr);

    SetErrorDescription(L"main thread");
    std::thread([] {
        IErrorInfo* p = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &p), S_FALSE);
    }).join();
    ASSERT_EQ(GetErrorInfo(0, &raw), S_OK);
    raw->Release();
}
