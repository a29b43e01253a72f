// The "Data Representation" model on small hand-made sources: reading the
// source, locking to a previous chart, the axis rules, reachability and
// stepping, typed numbers and cancelling.
#include "IDataTransfer.h"
#include "IStaticInputChange.h"
#include "InputConfigModel.h"

#include "src/FakeChartControl.h"
#include "src/FakeDataSource.h"
#include "support/ComErrorOf.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <functional>
#include <optional>
#include <tuple>
#include <gtest/gtest.h>

namespace {

using namespace vantix::test;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::Return;

// A previous chart's slice: only the names matter here.
FakeTransfer Named(std::wstring x, std::wstring y, std::wstring f)
{
    FakeTransfer t;
    t.xName = std::move(x), t.yName = std::move(y), t.functionName = std::move(f);
    return t;
}

// Value keys of the current values of every input.
std::vector<std::uint64_t> CurrentKeys(const CInputConfigModel& m)
{
    std::vector<std::uint64_t> keys;
    for (const InputInfo& in : m.Inputs())
        keys.push_back(in.HasCurrent() ? in.values[in.current].first : ~0ull);
    return keys;
}

std::vector<std::uint32_t> Records(const ValueInfo& v)
{
    return {v.records.begin(), v.records.end()};
}

std::uint64_t Key(const CInputConfigModel& m, std::size_t i)
{
    return CurrentKeys(m)[i];
}

// X = input 0, Y = input 1 (one value each); the fixed inputs A (2), B (3),
// C (4). (A, B, C) per record:
//   r0 (0,0,0) r1 (0,0,2) r2 (0,1,1) r3 (1,0,1) r4 (0,1,3) r5 (1,1,4) r6 (1,0,4)
DataTable Grid()
{
    return DataTable::Make(5, {{0, 0, 0, 0, 0},
                               {0, 0, 0, 0, 2},
                               {0, 0, 0, 1, 1},
                               {0, 0, 1, 0, 1},
                               {0, 0, 0, 1, 3},
                               {0, 0, 1, 1, 4},
                               {0, 0, 1, 0, 4}});
}
constexpr int A = 2, B = 3, C = 4;

struct ModelTest : ::testing::Test {
    FakeSnagwise snag;
    std::optional<CInputConfigModel> fresh{std::in_place};
    CInputConfigModel& model = *fresh;

    // Into a fresh model (a model read again keeps its votes).
    void Load(DataTable table, IDataTransfer* previous = nullptr, HRESULT expected = S_OK)
    {
        fresh.reset();
        fresh.emplace();
        source = MakeSource(std::move(table));
        ASSERT_EQ(expected, model.Initialize(source.Get(), previous));
    }
    // One step through the value editor's codes.
    double Change(int input, int code, double value = 0.0)
    {
        EXPECT_TRUE(model.ChangeValue(input, code, &value));
        return value;
    }

    ComPtr<::testing::NiceMock<MockDataSource>> source;
};

TEST_F(ModelTest, CollectsNamesValuesAndSortedRecordsPerValue)
{
    Load(DataTable::Make(3, {{2, 0, 1}, {0, 1, 1}, {2, 1, 0}, {1, 0, 0}}));
    ASSERT_EQ(3u, model.GetInputCount());
    EXPECT_EQ(L"sig0:in0", model.Inputs()[0].name);
    EXPECT_THAT(model.FunctionNames(), ElementsAre(L"f0", L"f1"));
    const InputInfo& in0 = model.Inputs()[0];
    ASSERT_EQ(3u, in0.values.size());
    EXPECT_THAT(Records(in0.values[0].second), ElementsAre(1u));
    EXPECT_THAT(Records(in0.values[2].second), ElementsAre(0u, 2u));
    EXPECT_DOUBLE_EQ(1.0, in0.values[2].second.value);
    // Every input starts at its lowest value; the dialog then shows record 0
    // and the fixed input reads back its value.
    EXPECT_THAT(CurrentKeys(model), ElementsAre(0u, 0u, 0u));
    model.SelectRecord(0, false);
    EXPECT_THAT(CurrentKeys(model), ElementsAre(2u, 0u, 1u));
    std::uint32_t input = 0;
    std::uint64_t key = 0;
    ASSERT_TRUE(model.GetFixedInput(0, input, key));
    EXPECT_EQ(std::pair(input, key), std::pair(2u, std::uint64_t{1}));
    EXPECT_FALSE(model.GetFixedInput(1, input, key));
    EXPECT_TRUE(snag.Asserts().empty());
    // Two inputs have no fixed inputs.
    Load(DataTable::Make(2, {{0, 1}, {1, 0}}));
    EXPECT_EQ(std::pair(model.InputX(), model.InputY()), std::pair(0u, 1u));
    EXPECT_EQ(-1, model.GetInputIndex(0));
    EXPECT_FALSE(model.GetFixedInput(0, input, key));
}

TEST_F(ModelTest, KeepsTheFirstDoubleOfAKeyAndTakesKeysOutOfOrder)
{
    source = MakeSource(DataTable::Make(2, {{5, 0}, {5, 1}, {1, 0}}));
    ON_CALL(*source, GetInputValue(1, 0, _)).WillByDefault([](ULONG, ULONG, double* p) {
        *p = -1.0; // disagrees with record 0 for the same key
        return S_OK;
    });
    ASSERT_EQ(S_OK, model.Initialize(source.Get(), nullptr));
    const auto& values = model.Inputs()[0].values;
    ASSERT_EQ(2u, values.size());
    EXPECT_EQ(std::pair(values[0].first, values[1].first), std::pair(std::uint64_t{1}, std::uint64_t{5}));
    EXPECT_DOUBLE_EQ(DataTable::Value(0, 5), values[1].second.value);
    EXPECT_THAT(Records(values[1].second), ElementsAre(0u, 1u));
    // Keys far beyond the record count are kept as well.
    Load(DataTable::Make(2, {{1ull << 40, 0}, {3, 0}, {1ull << 40, 1}}));
    EXPECT_EQ(3u, model.Inputs()[0].values[0].first);
    EXPECT_THAT(Records(model.Inputs()[0].values[1].second), ElementsAre(0u, 2u));
}

// Sources without two inputs, a function and a record are refused; provider
// failures are reported and returned, leaving the model empty.
TEST_F(ModelTest, RefusedSourcesAndProviderFailures)
{
    auto noFunctions = DataTable::Make(3, {{0, 0, 0}});
    noFunctions.functionNames.clear();
    for (const DataTable& table : {DataTable::Make(1, {{0}, {1}}), noFunctions, DataTable::Make(3, {})})
        Load(table, nullptr, E_INVALIDARG);
    EXPECT_TRUE(snag.Asserts().empty());
    EXPECT_EQ(E_NOINTERFACE, CInputConfigModel().Initialize(nullptr, nullptr));

    const std::wstring ok = L"((HRESULT)0x00000000L) == ";
    const struct {
        std::function<void(MockDataSource&)> spoil;
        HRESULT hr;
        std::vector<std::wstring> asserts;
    } cases[] = {
        {[](MockDataSource& s) { ON_CALL(s, GetInputCount(_)).WillByDefault(Return(E_FAIL)); }, E_FAIL, {ok + L"hr"}},
        {[](MockDataSource& s) { ON_CALL(s, GetInputName(1, _)).WillByDefault(Return(E_OUTOFMEMORY)); }, E_FAIL,
         {ok + L"res1", ok + L"res"}},
        // A failing function name empties the list; validation refuses it.
        {[](MockDataSource& s) { ON_CALL(s, GetFunctionName(1, _)).WillByDefault(Return(E_FAIL)); }, E_INVALIDARG,
         {ok + L"res", L"res >= ((HRESULT)0x00000000L)"}},
        {[](MockDataSource& s) { ON_CALL(s, GetInputValueIndex(3, 2, _)).WillByDefault(Return(E_UNEXPECTED)); },
         E_UNEXPECTED, {ok + L"res"}},
    };
    for (const auto& c : cases) {
        snag.Clear();
        CInputConfigModel m;
        source = MakeSource(Grid());
        c.spoil(*source);
        EXPECT_EQ(c.hr, m.Initialize(source.Get(), nullptr));
        EXPECT_EQ(snag.Asserts(), c.asserts);
        EXPECT_TRUE(c.hr == E_UNEXPECTED || m.Inputs().empty());
        EXPECT_TRUE(c.hr != E_INVALIDARG || m.FunctionNames().empty());
    }
}

TEST_F(ModelTest, ASourceWithoutValueIndicesThrowsItsRefusal)
{
    for (const HRESULT refusal : {E_NOINTERFACE, E_ACCESSDENIED}) {
        CInputConfigModel m;
        source = MakeSource(Grid());
        source->refuseSourceEx = true;
        source->refusal = refusal;
        // "No such interface" is thrown as a pointer error.
        EXPECT_EQ(refusal == E_NOINTERFACE ? E_POINTER : refusal,
                  ComErrorOf([&] { m.Initialize(source.Get(), nullptr); }));
    }
}

TEST_F(ModelTest, LocksToThePreviousChartOrAnswersFalse)
{
    FakeTransfer previous = Named(L"sig4:in4", L"sig2:in2", L"f1");
    Load(Grid(), &previous);
    EXPECT_TRUE(model.IsLocked());
    EXPECT_EQ(4u, model.InputX());
    EXPECT_EQ(2u, model.InputY());
    EXPECT_EQ(1u, model.Function());
    // Fixed inputs skip the locked axes.
    EXPECT_EQ(0, model.GetInputIndex(0));
    EXPECT_EQ(3, model.GetInputIndex(2));

    for (FakeTransfer missing : {Named(L"sig9:in9", L"sig2:in2", L"f1"), Named(L"sig4:in4", L"in2", L"f1"),
                                 Named(L"sig4:in4", L"sig2:in2", L"F1")}) {
        CInputConfigModel m;
        auto s = MakeSource(Grid());
        EXPECT_EQ(S_FALSE, m.Initialize(s.Get(), &missing));
        EXPECT_FALSE(m.IsLocked());
    }
}

TEST_F(ModelTest, AxisChoiceMovesTheOtherAxisAwayAndReleasesPins)
{
    Load(Grid());
    ASSERT_TRUE(model.SetAxisInput(false, L"sig3:in3"));
    EXPECT_TRUE(model.SetAxisInput(true, L"sig3:in3"));
    EXPECT_EQ(3u, model.InputX());
    EXPECT_EQ(2u, model.InputY());
    ASSERT_TRUE(model.SetAxisInput(true, L"sig0:in0"));
    ASSERT_TRUE(model.SetAxisInput(false, L"sig1:in1"));
    EXPECT_TRUE(model.SetAxisInput(false, L"sig0:in0"));
    EXPECT_EQ(0u, model.InputY());
    EXPECT_EQ(1u, model.InputX());
    ASSERT_TRUE(model.SetAxisInput(true, L"sig2:in2"));
    EXPECT_TRUE(model.SetAxisInput(true, L"sig0:in0"));
    EXPECT_EQ(1u, model.InputY()); // Y was 0: it becomes 1
    EXPECT_FALSE(model.SetAxisInput(true, L"nothing"));

    // A pinned input that becomes an axis loses its pin and its vote.
    model.SetFixed(A, true);
    EXPECT_EQ(1u, model.GetMaxHits());
    model.SetAxisInput(true, L"sig2:in2");
    model.ReleaseAxisInputs();
    EXPECT_EQ(0u, model.Inputs()[A].fixed);
    EXPECT_EQ(0u, model.GetMaxHits());
    EXPECT_EQ(0u, model.GetRecordHits(0));
}

// Steps on C with nothing, B, or A and B pinned: C only lands on values that
// occur with the pinned values, and the record shown is the first with them.
TEST_F(ModelTest, StepsVisitOnlyValuesReachableUnderThePins)
{
    const struct {
        std::vector<int> pins;
        std::vector<std::tuple<int, std::uint64_t, std::uint32_t>> steps; // code, C's key, record after
        std::vector<std::uint64_t> unreachable;                           // keys of C
    } cases[] = {
        {{}, {{SB_LINEUP, 1, 2}, {SB_LINEUP, 2, 1}, {SB_LINEUP, 3, 4}, {SB_LINEUP, 4, 5}, {SB_LINEUP, 4, 5},
              {SB_LINEDOWN, 3, 4}}, {}},
        // B = 0: r2 has C = 1 but B = 1, so r3; 3 occurs only with B = 1.
        {{B}, {{SB_LINEUP, 1, 3}, {SB_LINEUP, 2, 1}, {SB_LINEUP, 4, 6}}, {3}},
        // A = 0 and B = 0: only C = 0 (r0) and C = 2 (r1).
        {{A, B}, {{SB_LINEUP, 2, 1}, {SB_LINEUP, 2, 1}, {SB_TOP, 2, 1}}, {1, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.pins.size() << " pins");
        Load(Grid());
        for (const int pin : c.pins)
            model.SetFixed(pin, true);
        EXPECT_EQ(model.GetMaxHits(), c.pins.size());
        for (const auto& [code, key, record] : c.steps) {
            Change(C, code);
            EXPECT_EQ(Key(model, C), key);
            EXPECT_EQ(model.CurrentRecord(), record);
        }
        for (const std::uint64_t key : c.unreachable)
            EXPECT_FALSE(model.IsReachable(C, key)) << key;
    }
    // Votes count per record; releasing A widens C to the values with B = 0.
    EXPECT_EQ(model.GetRecordHits(0), 2u);
    EXPECT_EQ(model.GetRecordHits(2), 1u);
    EXPECT_EQ(model.GetRecordHits(5), 0u);
    model.SetFixed(A, false);
    EXPECT_EQ(model.GetMaxHits(), 1u);
    EXPECT_EQ(model.GetRecordHits(0), 1u);
    Change(C, SB_LINEUP);
    EXPECT_EQ(Key(model, C), 4u);
    EXPECT_EQ(model.CurrentRecord(), 6u);
    // A pinned input cannot move itself.
    Change(B, SB_LINEUP);
    EXPECT_EQ(0u, Key(model, B));
    EXPECT_FALSE(model.IsReachable(B, 1));
}

// One input with n values (keys 0 .. n-1), X and Y constant; optionally a
// pinned companion input P that allows only the keys in `allowed`.
DataTable Ladder(std::uint64_t n, const std::vector<std::uint64_t>& allowed = {})
{
    std::vector<std::vector<std::uint64_t>> records;
    for (std::uint64_t k = 0; k < n; ++k) {
        const bool ok = allowed.empty() || std::find(allowed.begin(), allowed.end(), k) != allowed.end();
        records.push_back({0, 0, k, ok ? 0u : 1u});
    }
    if (!allowed.empty())
        std::rotate(records.begin(), records.begin() + static_cast<long>(allowed.front()), records.end());
    return DataTable::Make(4, records);
}

// Page steps move by a twentieth of the values (at least one), Home and End go
// to the ends, typed numbers snap to the nearest value (a tie up; between two
// reachable values a tie down): counting reachable values only.
TEST_F(ModelTest, PagesEndsAndTypedNumbersCountReachableValues)
{
    const struct {
        DataTable table;
        bool pinned;
        std::vector<std::pair<int, double>> steps; // code (typed number: the value), value of input 2 after
    } cases[] = {
        {Ladder(45), false,
         {{SB_PAGEUP, 201}, {SB_PAGEUP, 202}, {SB_PAGEDOWN, 201}, {SB_TOP, 222}, {SB_PAGEUP, 222}, {SB_BOTTOM, 200}}},
        {Ladder(7), false, {{SB_PAGEUP, 200.5}}},
        // Reachable: keys 3, 5, 8, 13, 21, 30.
        {Ladder(40, {3, 5, 8, 13, 21, 30}), true,
         {{SB_PAGEUP, 204}, {SB_TOP, 215}, {SB_PAGEDOWN, 206.5}, {SB_BOTTOM, 201.5}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.indices.size());
        Load(c.table);
        model.SelectRecord(0, false);
        if (c.pinned)
            model.SetFixed(3, true);
        for (const auto& [code, value] : c.steps)
            EXPECT_DOUBLE_EQ(Change(2, code), value) << code;
    }
    EXPECT_FALSE(model.ChangeValue(2, 4, nullptr)); // SB_THUMBPOSITION: not a step
    EXPECT_FALSE(model.ChangeValue(-1, SB_LINEUP, nullptr));

    const struct {
        DataTable table;
        double typed, value;
    } typed[] = {
        // Reachable: 200.5 and 201.5.
        {Ladder(5, {1, 3}), 1e6, 201.5}, {Ladder(5, {1, 3}), 100.0, 200.5}, {Ladder(5, {1, 3}), 201.0, 200.5},
        {Ladder(5, {1, 3}), 201.1, 201.5},
        {Ladder(5), 1e6, 202.0},     {Ladder(5), -3.0, 200.0},      {Ladder(5), 200.7, 200.5},
        {Ladder(5), 200.75, 201.0},  {Ladder(5), 200.74, 200.5},    {Ladder(5), 201.5, 201.5},
    };
    for (const auto& t : typed) {
        Load(t.table);
        model.SelectRecord(0, false);
        model.SetFixed(3, true);
        EXPECT_DOUBLE_EQ(Change(2, CInputConfigModel::kTypedNumber, t.typed), t.value) << t.typed;
    }
    EXPECT_EQ(model.CurrentRecord(), 3u);
}

TEST_F(ModelTest, CancelReturnsToTheRecordBeforeTheFirstChangeOfTheInput)
{
    Load(Grid());
    const auto before = CurrentKeys(model);
    Change(C, SB_LINEUP);
    Change(C, SB_LINEUP);
    Change(C, SB_LINEUP);
    EXPECT_EQ(4u, model.CurrentRecord());
    EXPECT_EQ(0u, model.PreviousRecord());
    EXPECT_TRUE(model.CancelChange());
    EXPECT_EQ(0u, model.CurrentRecord());
    EXPECT_EQ(before, CurrentKeys(model));
    EXPECT_EQ(-1, model.LastChanged());
    EXPECT_FALSE(model.CancelChange());

    // Changing another input starts a new series.
    Change(C, SB_LINEUP); // r2
    Change(A, SB_LINEUP); // A = 1: r3
    EXPECT_EQ(2u, model.PreviousRecord());
    EXPECT_TRUE(model.CancelChange());
    EXPECT_EQ(2u, model.CurrentRecord());
}

TEST_F(ModelTest, SelectRecordKeepsValuesWhoseKeyCannotBeRead)
{
    Load(Grid());
    ON_CALL(*source, GetInputValueIndex(5, B, _)).WillByDefault(Return(E_FAIL));
    model.SelectRecord(5, true);
    EXPECT_EQ(0u, model.PreviousRecord());
    EXPECT_EQ(5u, model.CurrentRecord());
    EXPECT_THAT(CurrentKeys(model), ElementsAre(0u, 0u, 1u, 0u, 4u));
}

} // namespace

// Hit counts take a byte a record while fewer than 256 inputs can vote, and
// keep every count when they widen for more inputs or grow for more records.
TEST(RecordHits, CountsSurviveWideningAndGrowing)
{
    CRecordHits hits;
    EXPECT_EQ(0u, hits.Get(3));
    hits.Fit(10, 3);
    EXPECT_EQ(1u, hits.Adjust(3, true));
    EXPECT_EQ(2u, hits.Adjust(3, true));
    EXPECT_EQ(0u, hits.Adjust(4, false)); // never below zero
    hits.Fit(5, 3);                       // already room: nothing changes
    EXPECT_EQ(10u, hits.size());
    hits.Fit(12, 300);
    EXPECT_EQ(12u, hits.size());
    EXPECT_EQ(2u, hits.Get(3));
    for (int k = 0; k < 298; ++k)
        hits.Adjust(3, true);
    EXPECT_EQ(300u, hits.Get(3)); // beyond a byte
    hits.Fit(20, 3);              // once wide, it stays wide
    EXPECT_EQ(300u, hits.Get(3));
    EXPECT_EQ(0u, hits.Get(19));
    EXPECT_EQ(0u, hits.Get(20));
}

// Inputs held at "All" or over a range: the records the slice holds, what the
// transformer is given, and the votes of a pinned range.
TEST_F(ModelTest, HoldsOverRangesCountTheirRecordsAndVote)
{
    Load(Grid());
    model.SelectRecord(0, false); // A, B, C = 0, 0, 0
    const auto value = [](int input, std::uint64_t k) { return DataTable::Value(input, k); };
    const struct {
        std::function<bool()> hold;
        std::uint64_t records;
    } steps[] = {
        {[] { return true; }, 1},                                               // r0
        {[&] { model.HoldAll(C); return true; }, 2},                            // r0, r1
        {[&] { return model.HoldRange(C, value(C, 1), value(C, 3)); }, 1},      // r1
        {[&] { return !model.HoldRange(C, value(C, 1) + 0.1, value(C, 1) + 0.2); }, 1}, // no value inside: kept
        {[&] { model.HoldAll(A); model.HoldAll(B); model.HoldAll(C); return true; }, 7},
        {[&] { model.HoldOne(B); return true; }, 4}, // B back at 0: r0, r1, r3, r6
    };
    for (std::size_t k = 0; k < std::size(steps); ++k) {
        EXPECT_TRUE(steps[k].hold()) << k;
        EXPECT_EQ(model.CountSliceRecords(), steps[k].records) << k;
    }
    FixedInput held{};
    ASSERT_TRUE(model.GetHeldInput(2, held)); // row 2 = C, held at "All"
    EXPECT_EQ(held, (FixedInput{C, 0, 4}));
    ASSERT_TRUE(model.GetHeldInput(1, held));
    EXPECT_EQ(held, (FixedInput{B, 0, 0}));

    // A pinned at 0 and C pinned over 3..4 leave only r4: B can reach 1, not 0.
    model.HoldOne(A);
    model.SelectRecord(0, false);
    ASSERT_TRUE(model.HoldRange(C, value(C, 3), value(C, 4)));
    model.SetFixed(A, true);
    model.SetFixed(C, true);
    EXPECT_FALSE(model.IsReachable(B, 0));
    EXPECT_TRUE(model.IsReachable(B, 1));
    // A step holds a ranged input at one value again.
    model.SetFixed(C, false);
    const double stepped = Change(C, SB_LINEUP);
    const InputInfo& c = model.Inputs()[C];
    EXPECT_FALSE(c.IsHeldOverRange());
    EXPECT_EQ(stepped, c.values[c.current].second.value);
}

// Labels and "(none)": the labelled optimiser (2) adam, adagrad, sgd and
// (none); the numeric depth (3) 300, 300.5 and (none). (opt, depth) per record:
//   r0 (0,0) r1 (1,1) r2 (2,0) r3 (3,2) r4 (0,2)
TEST_F(ModelTest, LabelsAreNamedByTextAndNoneMatchesOnlyItselfOrAll)
{
    DataTable t = DataTable::Make(4, {{0, 0, 0, 0}, {0, 0, 1, 1}, {0, 0, 2, 0}, {0, 0, 3, 2}, {0, 0, 0, 2}});
    t.labels = {{}, {}, {L"adam", L"adagrad", L"sgd"}, {}};
    t.noneIndex = {{2, 3}, {3, 2}};
    Load(t);
    const InputInfo& opt = model.Inputs()[2];
    const InputInfo& depth = model.Inputs()[3];
    EXPECT_EQ(opt.Label(1), L"adagrad");
    EXPECT_EQ(opt.Label(3), L"(none)");
    EXPECT_EQ(depth.Label(0), L"");
    EXPECT_EQ(depth.Label(2), L"(none)");
    EXPECT_FALSE(model.Inputs()[0].HasLabels());
    const struct {
        const InputInfo& in;
        const wchar_t* text;
        std::size_t pos;
    } names[] = {
        {opt, L"adam", 0},    {opt, L"ADAGRAD", 1}, {opt, L"s", 2},        {opt, L" sgd ", 2},
        {opt, L"ada", InputInfo::npos},             {opt, L"(none)", 3},    {opt, L"none", 3},
        {opt, L"(n", 3},      {opt, L"x", InputInfo::npos},                 {opt, L"", InputInfo::npos},
        {depth, L"None", 2},  {depth, L"300", InputInfo::npos},
    };
    for (const auto& n : names)
        EXPECT_EQ(n.in.FindLabel(n.text), n.pos) << std::string(n.text, n.text + wcslen(n.text));

    EXPECT_TRUE(model.ChangeToLabel(2, L"sg"));
    EXPECT_EQ(model.CurrentRecord(), 2u);
    EXPECT_FALSE(model.ChangeToLabel(2, L"ada"));
    EXPECT_TRUE(model.ChangeToLabel(3, L"none"));
    EXPECT_EQ(model.CurrentRecord(), 3u);
    // A typed number never reaches "(none)"; a range leaves it out, "All" takes it.
    EXPECT_EQ(Change(3, CInputConfigModel::kTypedNumber, 1e9), 300.5);
    model.HoldAll(2);
    EXPECT_TRUE(model.HoldRange(3, 0, 1e300));
    EXPECT_EQ(model.CountSliceRecords(), 3u); // r0, r1, r2
    EXPECT_TRUE(model.ChangeToLabel(3, L"(none)"));
    EXPECT_EQ(model.CountSliceRecords(), 2u); // r3, r4
    model.HoldAll(3);
    EXPECT_EQ(model.CountSliceRecords(), 5u);
}
