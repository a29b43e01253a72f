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
    IUnknown* src = Unk(control.Get());
    std::unique_ptr<CEventReceiver> receiver = std::make_unique<CEventReceiver>(&receive);
    double x = 1, y = 2, z = 3;
    const VARIANT r8x = VARIANT::R8Ref(&x), r8y = VARIANT::R8Ref(&y), r8z = VARIANT::R8Ref(&z);

    // Arguments come last first, as the caller lays them out.
    HRESULT Invoke(DISPID id, std::vector<VARIANT> args, std::vector<DISPID> named = {}, std::uint32_t* argErr = nullptr)
    {
        IDispatch* sink = control->events->Sink();
        if (!sink)
            return E_UNEXPECTED;
        DISPPARAMS params{args.empty() ? nullptr : args.data(), named.empty() ? nullptr : named.data(),
                          std::uint32_t(args.size()), std::uint32_t(named.size())};
        EXCEPINFO info;
        std::uint32_t dummy = 99;
        return sink->Invoke(id, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, &params, nullptr, &info,
                            argErr ? argErr : &dummy);
    }
};

} // namespace

TEST_F(ReceiverTest, AdvisesOnTheFirstHookOfASourceAndUnadvisesWithTheLast)
{
    receiver->Hook(kSelect, src);
    receiver->Hook(kClear, src);
    receiver->Hook(kSelect, src);
    EXPECT_EQ(control->events->advises, 1);
    receiver->Unhook(kSelect, src);
    receiver->Unhook(kSelect, src);
    EXPECT_TRUE(receiver->IsAdvised(src) && receiver->IsHooked(kClear, src));
    receiver->Unhook(kClear, src);
    receiver->Unhook(kClear, src);
    EXPECT_EQ(control->events->unadvises, 1);
    EXPECT_TRUE(control->events->sinks.empty());
    receiver->Hook(kClear, src); // hooked again later: a fresh subscription
    EXPECT_EQ(control->events->advises, 2);
    EXPECT_THAT(snag.Asserts(), IsEmpty());

    // A source without events is asserted.
    auto series = platform::MakeCom<FakeSurfaceSeries>();
    receiver->Hook(kSelect, static_cast<plot::ISurfaceSeries*>(series.Get()));
    EXPECT_THAT(snag.Asserts(), ElementsAre(L"((HRESULT)(hr) >= 0)"));

    // Sources are told apart by identity: the same object through another of
    // its interfaces is the same source. The last subscriptions end with the receiver.
    auto other = platform::MakeCom<FakeChartControl>();
    receiver->Hook(kSelect, static_cast<platform::IConnectionPointContainer*>(control.Get()));
    receiver->Hook(kSelect, Unk(other.Get()));
    EXPECT_EQ(control->events->advises, 2);
    receiver->Unhook(kSelect, Unk(other.Get()));
    EXPECT_EQ(other->events->advises, 1);
    EXPECT_EQ(other->events->unadvises, 1);
    EXPECT_EQ(control->events->unadvises, 1);
    receiver.reset();
    EXPECT_EQ(control->events->unadvises, 2);
    EXPECT_TRUE(control->events->sinks.empty());
}

TEST_F(ReceiverTest, AcceptedEventsReachTheHookedHandlersOnly)
{
    receiver->Hook(kSelect, src);
    receiver->Hook(kClear, src);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8z, r8y, r8x}), S_OK);
    EXPECT_EQ(x, -1.0);
    EXPECT_EQ(Invoke(plot::DISPID_ClearPoint, {}), S_OK);
    EXPECT_EQ(receive.cleared, 1);
    // A VARIANT by reference holding a double is accepted too.
    VARIANT inner = VARIANT::R8(7), byRef;
    byRef.vt = platform::VT_VARIANT | platform::VT_BYREF;
    byRef.pvarVal = &inner;
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8z, r8y, byRef}), S_OK);
    // Named arguments go by their DISPID: here pZ, pX, pY.
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8x, r8z, r8y}, {2, 0, 1}), S_OK);
    EXPECT_THAT(receive.selected, ElementsAre(std::tuple{1.0, 2.0, 3.0}, std::tuple{7.0, 2.0, 3.0},
                                              std::tuple{3.0, 2.0, -1.0}));

    receiver->Unhook(kSelect, src);
    EXPECT_EQ(Invoke(plot::DISPID_SelectPoint, {r8z, r8y, r8x}), S_FALSE);
    EXPECT_EQ(receive.selected.size(), 3u);
    EXPECT_EQ(Invoke(plot::DISPID_ClearPoint, {}), S_OK);
    EXPECT_EQ(receive.cleared, 2);

    // A dispatch object outliving the receiver forwards nothing.
    receiver->Hook(kSelect, src);
    ComPtr<IDispatch> kept(control->events->Sink());
    receiver.reset();
    VARIANT args[3] = {r8z, r8y, r8x};
    DISPPARAMS params{args, nullptr, 3, 0};
    EXPECT_EQ(kept->Invoke(plot::DISPID_SelectPoint, platform::GUID_NULL, 0, platform::DISPATCH_METHOD, &params,
                           nullptr, nullptr, nullptr),
              S_FALSE);
    EXPECT_EQ(receive.selected.size(), 3u);
}

TEST_F(ReceiverTest, InvokeChecksInTheirOrder)
{
    receiver->Hook(kSelect, src);
    EXPECT_EQ(control->events->Sink()->Invoke(plot::DISPID_SelectPoint, platform::GUID_NULL, 0,
                                              platform::DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_BADVARTYPE);
    const VARIANT i4 = VARIANT::I4(1), r8 = VARIANT::R8(1);
    constexpr std::uint32_t kAny = 99;
    const struct {
        DISPID id;
        std::vector<VARIANT> args;
        std::vector<DISPID> named;
        HRESULT hr;
        std::uint32_t argErr;
    } cases[] = {
        {77, {r8z, r8y, r8x, r8x}, {}, DISP_E_BADPARAMCOUNT, kAny}, // outranks an unknown member
        {77, {r8z, r8y, r8x}, {0, 3}, DISP_E_PARAMNOTFOUND, 1},    // so does a bad name, at its position
        {plot::DISPID_SelectPoint, {r8y, r8x}, {}, DISP_E_BADPARAMCOUNT, kAny},
        // Type mismatches, checked pX, pY, pZ; the error index counts from the end.
        {plot::DISPID_SelectPoint, {i4, i4, i4}, {}, DISP_E_TYPEMISMATCH, 2},
        {plot::DISPID_SelectPoint, {i4, r8y, r8x}, {}, DISP_E_TYPEMISMATCH, 0},
        // Two names for one parameter leave another without an argument.
        {plot::DISPID_SelectPoint, {r8z, r8y, r8x}, {0, 0}, DISP_E_TYPEMISMATCH, kAny},
        {plot::DISPID_ClearPoint, {r8x}, {}, DISP_E_BADPARAMCOUNT, kAny},
        {3, {}, {}, DISP_E_MEMBERNOTFOUND, kAny},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "case " << (&c - cases));
        std::uint32_t argErr = kAny;
        EXPECT_EQ(Invoke(c.id, c.args, c.named, &argErr), c.hr);
        if (c.argErr != kAny) {
            EXPECT_EQ(argErr, c.argErr);
        }
    }
    EXPECT_TRUE(receive.selected.empty());
}

TEST(SelectionText, TitlesSeparatorsAndSixSignificantDigits)
{
    EXPECT_EQ(BuildSelectionText(L"Lowpass:Cutoff", L"Lowpass:Q", L"Ripple", 1234.56789, -0.000123456789, 2.5),
              L"Lowpass:Cutoff : 1234.57 Lowpass:Q : 2.5  Ripple : -0.000123457");
    EXPECT_EQ(BuildSelectionText(L"", L"", L"", 1e-7, 123456789.0, 0.0), L" : 1e-07  : 0   : 1.23457e+08");
    EXPECT_EQ(BuildSelectionText(L"lr", L"opt", L"loss", L"0.1", L"7", L"sgd"), L"lr : 0.1 opt : sgd  loss : 7");
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
}
