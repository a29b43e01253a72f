#include "platform/comptr.h"
#include "platform/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

struct IEvents : IDispatch {
    VANTIX_INTERFACE_ID(0xE0E0E0E0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
};

class Source final : public ComObject<IConnectionPointContainer> {
public:
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override
    {
        if (!pp)
            return E_POINTER;
        *pp = nullptr;
        return riid == uuidof<IEvents>() ? m_cp.CopyTo(pp) : CONNECT_E_NOCONNECTION;
    }
    ComPtr<ConnectionPoint> m_cp = MakeCom<ConnectionPoint>(this, uuidof<IEvents>());
};

// Records each call and adds one to the argument, which is passed by reference.
class Sink final : public ComObject<IEvents> {
public:
    std::vector<std::pair<DISPID, double>> calls;
    ConnectionPoint* unadviseOnCall = nullptr;
    std::uint32_t cookie = 0;
    HRESULT GetTypeInfoCount(std::uint32_t*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, const wchar_t* const*, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*, std::uint32_t*) override
    {
        calls.emplace_back(id, *p->rgvarg[0].pdblVal);
        *p->rgvarg[0].pdblVal += 1;
        if (unadviseOnCall)
            unadviseOnCall->Unadvise(cookie);
        return S_OK;
    }
};

} // namespace

TEST(ConnectionPoint, AdviseFireUnadviseWithCookies)
{
    auto src = MakeCom<Source>();
    IConnectionPoint* cpRaw = nullptr;
    EXPECT_EQ(src->FindConnectionPoint(uuidof<IDispatch>(), &cpRaw), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(src->FindConnectionPoint(uuidof<IEvents>(), &cpRaw), S_OK);
    auto cp = ComPtr<IConnectionPoint>::Attach(cpRaw);
    auto a = MakeCom<Sink>(), b = MakeCom<Sink>();
    std::uint32_t ca = 0, cb = 0;
    ASSERT_EQ(cp->Advise(static_cast<IEvents*>(a.Get()), &ca), S_OK);
    ASSERT_EQ(cp->Advise(static_cast<IEvents*>(b.Get()), &cb), S_OK);
    EXPECT_TRUE(ca != cb && ca != 0u);
    // A sink without the interface is refused.
    std::uint32_t cookie = 99;
    EXPECT_EQ(cp->Advise(static_cast<IConnectionPointContainer*>(src.Get()), &cookie), CONNECT_E_CANNOTCONNECT);

    double value = 1.5;
    std::vector<VARIANT> args{VARIANT::R8Ref(&value)};
    src->m_cp->Fire(1, args);
    EXPECT_EQ(a->calls, (std::vector<std::pair<DISPID, double>>{{1, 1.5}}));
    EXPECT_EQ(b->calls, (std::vector<std::pair<DISPID, double>>{{1, 2.5}})); // sees the first sink's change

    EXPECT_EQ(cp->Unadvise(ca), S_OK);
    EXPECT_EQ(cp->Unadvise(ca), CONNECT_E_NOCONNECTION);
    src->m_cp->Fire(2, args);
    EXPECT_EQ(a->calls.size() + b->calls.size(), 3u);

    // A sink that unadvises itself while being called is not called again.
    b->unadviseOnCall = src->m_cp.Get();
    b->cookie = cb;
    src->m_cp->Fire(2, args);
    src->m_cp->Fire(2, args);
    EXPECT_EQ(b->calls.size(), 3u);
    EXPECT_EQ(src->m_cp->SinkCount(), 0u);
}

TEST(Variant, ChangeType)
{
    VARIANT inner = VARIANT::R8(4.0);
    VARIANT byVariant;
    byVariant.vt = VT_VARIANT | VT_BYREF;
    byVariant.pvarVal = &inner;
    VARIANT out;
    // By reference: the pointer passes through, so the callee writes to the caller's value.
    ASSERT_EQ(VariantChangeType(&out, &byVariant, 0, VT_R8 | VT_BYREF), S_OK);
    *out.pdblVal = 5.0;
    EXPECT_EQ(inner.dblVal, 5.0);
    const VARIANT small = VARIANT::I4(-3);
    ASSERT_EQ(VariantChangeType(&out, &small, 0, VT_R8), S_OK);
    EXPECT_EQ(out.dblVal, -3.0);

    const VARIANT byValue = VARIANT::R8(1.0), text = VARIANT::Bstr(L"x"), big = VARIANT::R8(1e12);
    EXPECT_EQ(VariantChangeType(&out, &byValue, 0, VT_R8 | VT_BYREF), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &text, 0, VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&out, &big, 0, VT_I4), DISP_E_OVERFLOW);
}
