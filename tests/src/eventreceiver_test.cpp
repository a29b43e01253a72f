// The event receiver: subscription bookkeeping and the dispatch object's checks.
#include "EventReceiver.h"
#include "FakeChartControl.h"
#include "SelectionText.h"

#include "support/FakeSnagwise.h"

#include <cmath>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace vantix::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct RecordingReceive : IReceive {
    std::vector<std::tuple<double, double, double>> selected;
    int cleared = 0;
    void OnSelectPoint(double* pX, double* pY, double* pZ) override
    {
        selected.emplace_back(*pX, *pY, *pZ);
        *pX = -1; // by reference: the control sees this
    }
    void OnClearPoint() override { ++cleared; }
};

constexpr int kSelect = CEventReceiver::EVENT_SELECT_POINT;
constexpr int kClear = CEventReceiver::EVENT_CLEAR_POINT;

struct ReceiverTest : ::testing::Test {
    FakeSnagwise snag;
    RecordingReceive receive;
    ComPtr<FakeChartControl> control = platform::MakeCom<FakeChartControl>();
    std::unique_ptr<CEventReceiver> receiver = std::make_unique<CEventReceiver>(&receive);

    HRESULT Invoke(DISPID id, std::vector<VARIANT> args, std::vector<DISPID> named = {},
                   std::uint32_t* argErr = nullptr)
    {
        IDispatch* sink = control->events->Sink();
        EXPECT_NE(sink, nullptr);
        if (!sink)
            return E_UNEXPECTED;
        DISPPARAMS params;
        params.rgvarg = args.empty() ? nullptr : args.data();
        params.cArgs = static_cast<std::uint32_t>(args.size());
        params.rgdispidNamedArgs = named.empty() ? nullptr : named.data();
        params.cNamedArgs = static_cast<std::uint32_t>(named.size());
        EXCEPINFO info;
        std::uint32_t dummy = 99;
        return sink->Invoke(id, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, &params, nullptr, &info,
                            argErr ? argErr : &dummy);
    }
};

} // namespace

TEST_F(ReceiverTest, AdvisesOnTheFirstHookAndUnadvisesWithTheLast)
{
    IUnknown* src = Unk(control.Get());
    receiver->Hook(kSelect, src);
    EXPECT_EQ(control->events->advises, 1);
    receiver->Hook(kClear, src);
    receiver->Hook(kSelect, src);
    EXPECT_EQ(control->events->advises, 1);
    EXPECT_TRUE(receiver->IsHooked(kSelect, src) && receiver->IsHooked(kClear, src));

    receiver->Unhook(kSelect, src);
    receiver->Unhook(kSelect, src);
    EXPECT_EQ(control->events->unadvises, 0);
    EXPECT_TRUE(receiver->IsAdvised(src));
    receiver->Unhook(kClear, src);
    EXPECT_EQ(control->events->unadvises, 1);
    EXPECT_FALSE(receiver->IsAdvised(src));
    EXPECT_TRUE(control->events->sinks.empty());
    receiver->Unhook(kClear, src);
    EXPECT_EQ(control->events->unadvises, 1);

    // Hooked again later: a fresh subscription.
    receiver->Hook(kClear, src);
    EXPECT_EQ(control->events->advises, 2);
    EXPECT_THAT(snag.Asserts(), IsEmpty());
}

TEST_F(ReceiverTest, SourcesAreKeptApartByIdentity)
{
    auto other = platform::MakeCom<FakeChartControl>();
    receiver->Hook(kSelect, Unk(control.Get()));
    // The same object through another of its interfaces is the same source.
    receiver->Hook(kClear, static_cast<platform::IConnectionPointContainer*>(control.Get()));
    receiver->Hook(kSelect, Unk(other.Get()));
    EXPECT_EQ(control->events->advises, 1);
    EXPECT_EQ(other->events->advises, 1);
    receiver->Unhook(kSelect, Unk(other.Get()));
    EXPECT_EQ(other->events->unadvises, 1);
    EXPECT_EQ(control->events->unadvises, 0);

    receiver.reset();
    EXPECT_EQ(control->events->unadvises, 1);
    EXPECT_TRUE(control->events->sinks.empty());
}

TEST_F(ReceiverTest, SourceWithoutEventsIsAsserted)
{
    auto series = platform::MakeCom<FakeSurfaceSeries>();
    receiver->Hook(kSelect, static_cast<plot::ISurfaceSeries*>(series.Get()));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0)"));
}

TEST_F(ReceiverTest, AcceptedEventsReachTheHookedHandlersOnly)
{
    IUnknown* src = Unk(control.Get());
    receiver->Hook(kSelect, src);
    receiver->Hook(kClear, src);
    double x = 1, y = 2, z = 3;
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), VARIANT::R8Ref(&x)}), S_OK);
    EXPECT_THAT(receive.selected, ElementsAre(std::tuple{1.0, 2.0, 3.0}));
    EXPECT_EQ(x, -1.0);
    EXPECT_EQ(Invoke(plot::DISPID_ClearPoint, {}), S_OK);
    EXPECT_EQ(receive.cleared, 1);

    // A VARIANT by reference holding a double is accepted too.
    VARIANT inner = VARIANT::R8(7);
    VARIANT byRef;
    byRef.vt = platform::VT_VARIANT | platform::VT_BYREF;
    byRef.pvarVal = &inner;
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), byRef}), S_OK);
    EXPECT_EQ(std::get<0>(receive.selected.back()), 7.0);

    // Named arguments go by their DISPID: here pZ, pX, pY.
    double nx = 10, ny = 20, nz = 30;
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {VARIANT::R8Ref(&nz), VARIANT::R8Ref(&nx), VARIANT::R8Ref(&ny)},
                     {2, 0, 1}),
              S_OK);
    EXPECT_EQ(receive.selected.back(), (std::tuple{10.0, 20.0, 30.0}));

    receiver->Unhook(kSelect, src);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), VARIANT::R8Ref(&x)}), S_FALSE);
    EXPECT_EQ(receive.selected.size(), 3u);
    EXPECT_EQ(Invoke(plot::DISPID_ClearPoint, {}), S_OK);
    EXPECT_EQ(receive.cleared, 2);
}

TEST_F(ReceiverTest, InvokeChecksInTheirOrder)
{
    receiver->Hook(kSelect, Unk(control.Get()));
    IDispatch* sink = control->events->Sink();
    ASSERT_NE(sink, nullptr);
    double x = 0, y = 0, z = 0;
    const VARIANT r8x = VARIANT::R8Ref(&x), r8y = VARIANT::R8Ref(&y), r8z = VARIANT::R8Ref(&z);
    std::uint32_t argErr = 99;

    EXPECT_EQ(sink->Invoke(plot::DISPID_SelectPoint, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, nullptr,
                           nullptr, nullptr, nullptr),
              DISP_E_BADVARTYPE);
    // Too many arguments outranks an unknown member.
    EXPECT_EQ(Invoke(77, {r8z, r8y, r8x, r8x}), DISP_E_BADPARAMCOUNT);
    // A bad named argument outranks an unknown member and gives its own position.
    EXPECT_EQ(Invoke(77, {r8z, r8y, r8x}, {0, 3}, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(Invoke(77, {r8z, r8y, r8x}, {-1}, &argErr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8y, r8x}), DISP_E_BADPARAMCOUNT);

    // Type mismatches, checked pX, pY, pZ; the error index counts from the end.
    const VARIANT i4 = VARIANT::I4(1), r8 = VARIANT::R8(1);
    argErr = 99;
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {i4, i4, i4}, {}, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 2u);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {i4, r8, r8x}, {}, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {i4, r8y, r8x}, {}, &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    // Two names for one parameter leave another without an argument.
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8z, r8y, r8x}, {0, 0}, &argErr), DISP_E_TYPEMISMATCH);

    EXPECT_EQ(Invoke(plot::DISPID_ClearPoint, {r8x}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(3, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(0, {}), DISP_E_MEMBERNOTFOUND);
    EXPECT_TRUE(receive.selected.empty());
}

TEST_F(ReceiverTest, NamesResolveIgnoringCaseAndTypeInfoIsAbsent)
{
    receiver->Hook(kSelect, Unk(control.Get()));
    IDispatch* sink = control->events->Sink();
    ASSERT_NE(sink, nullptr);
    auto id = [&](const wchar_t* name) {
        DISPID d = 1234;
        const HRESULT hr = sink->GetIDsOfNames(platform::GUID_NULL, &name, 1, 0, &d);
        return hr == S_OK ? d : static_cast<DISPID>(hr);
    };
    EXPECT_EQ(id(L"SelectPoint"), 1);
    EXPECT_EQ(id(L"selectpoint"), 1);
    EXPECT_EQ(id(L"SELECTPOINT"), 1);
    EXPECT_EQ(id(L"clearPOINT"), 2);
    EXPECT_EQ(id(L"PX"), 0);
    EXPECT_EQ(id(L"py"), 1);
    EXPECT_EQ(id(L"pZ"), 2);
    EXPECT_EQ(id(L"SelectPoints"), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id(L""), DISP_E_UNKNOWNNAME);

    const wchar_t* names[] = {L"SelectPoint", L"pz", L"nope"};
    DISPID ids[3] = {};
    EXPECT_EQ(sink->GetIDsOfNames(platform::GUID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], platform::DISPID_UNKNOWN);

    std::uint32_t count = 7;
    EXPECT_EQ(sink->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    platform::ITypeInfo* info = nullptr;
    EXPECT_EQ(sink->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    EXPECT_EQ(sink->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(ReceiverTest, DispatchObjectOutlivingTheReceiverForwardsNothing)
{
    receiver->Hook(kSelect, Unk(control.Get()));
    ComPtr<IDispatch> kept(control->events->Sink());
    receiver.reset();
    double x = 0, y = 0, z = 0;
    DISPPARAMS params;
    VARIANT args[3] = {VARIANT::R8Ref(&z), VARIANT::R8Ref(&y), VARIANT::R8Ref(&x)};
    params.rgvarg = args;
    params.cArgs = 3;
    EXPECT_EQ(kept->Invoke(plot::DISPID_SelectPoint, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, &params,
                           nullptr, nullptr, nullptr),
              S_FALSE);
    EXPECT_TRUE(receive.selected.empty());
}

TEST(SelectionText, TitlesSeparatorsAndSixSignificantDigits)
{
    EXPECT_EQ(BuildSelectionText(L"Lowpass:Cutoff", L"Lowpass:Q", L"Ripple", 1234.56789, -0.000123456789, 2.5),
              L"Lowpass:Cutoff : 1234.57 Lowpass:Q : 2.5  Ripple : -0.000123457");
    EXPECT_EQ(BuildSelectionText(L"", L"", L"", 1e-7, 123456789.0, 0.0), L" : 1e-07  : 0   : 1.23457e+08");
}

// A picked position is found among the slice's values as the chart placed
// them: log10 on a log axis, the code of a label.
TEST(SelectionText, PickedRecordsAreFoundByTheirPositions)
{
    vantix::test::FakeTransfer t;
    t.xValue = [](std::uint64_t k) { return std::pow(10.0, double(k) - 2); };
    t.records = {{0, 0, 5.0}, {1, 1, 7.0}, {2, 0, 9.0}};
    SliceAxes axes;
    axes[0].bLog = true;
    axes[1].bLabelled = true;
    const auto picked = FindPickedRecord(t, std::log10(0.1), 7.0, 1.0, &axes);
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->nShared, 1u);
    EXPECT_FALSE(FindPickedRecord(t, std::log10(0.1), 7.0, 1.0)); // not without the axes
    EXPECT_EQ(BuildSelectionText(L"lr", L"opt", L"loss", L"0.1", L"7", L"sgd"), L"lr : 0.1 opt : sgd  loss : 7");
}
