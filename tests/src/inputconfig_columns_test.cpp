// The "Data Representation" model and the transformer's slice read a
// source's columns when the source offers them, and otherwise (or when the
// columns do not fit) go record by record; both ways must give the same.
#include "DataTransformer.h"
#include "IStaticInputChange.h"
#include "InputConfigModel.h"
#include "OrsDataProvider.h"

#include "ors_provider/IQX_VantixDataColumns.h"
#include "platform/threads.h"
#include "support/FakeSnagwise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <thread>
#include <tuple>

namespace {

using namespace IQX_VantixDataProvider;
using vantix::test::FakeSnagwise;

// The provider's data object over the given input columns (one function).
ComPtr<IOptimizationResultsDataSource> MakeData(const std::vector<std::vector<double>>& inputs)
{
    ors::OrsContent content;
    const auto n = static_cast<std::uint32_t>(inputs.front().size());
    content.header.recordCount = n;
    content.header.functions = {"f"};
    content.valueIndices = ors::HugeArray<std::uint32_t>(inputs.size() * n);
    content.functionValues = ors::HugeArray<double>(n);
    content.distinctValues.resize(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        content.header.inputs.push_back({"sig", "x" + std::to_string(i)});
        const std::uint32_t bad = ors::BuildValueIndex(inputs[i].data(), n, content.valueIndices.data() + i * n,
                                                       content.distinctValues[i]);
        EXPECT_EQ(bad, n);
    }
    for (std::uint32_t r = 0; r < n; ++r)
        content.functionValues[r] = r;
    auto data = platform::MakeCom<ors::COptimizationResultsData>(std::move(content));
    return ComPtr<IOptimizationResultsDataSource>(static_cast<IOptimizationResultsDataSource*>(data.Get()));
}

// Forwards to a data object; offers its columns or not, counts the
// per-record calls, and can spoil the columns it hands out.
class CForwardingSource final
    : public platform::ComObject<IOptimizationResultsDataSource, IOptimizationResultsDataSourceEx,
                                 IOptimizationResultsDataColumns> {
public:
    explicit CForwardingSource(IOptimizationResultsDataSource* p) : m_sp(p), m_spEx(p), m_spColumns(p) {}

    bool offerColumns = true;
    int recordCalls = 0;
    // Spoilers of the columns; `keys` (when not empty) replaces the index column of `replacedInput`.
    HRESULT indexColumnResult = S_OK, distinctResult = S_OK;
    int countDelta = 0, distinctDelta = 0;
    ULONG replacedInput = 0;
    std::vector<std::uint32_t> keys;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!offerColumns && riid == platform::uuidof<IOptimizationResultsDataColumns>())
            return *ppv = nullptr, E_NOINTERFACE;
        return ComObject::QueryInterface(riid, ppv);
    }

    HRESULT GetInputCount(ULONG* p) override { return m_sp->GetInputCount(p); }
    HRESULT GetFunctionCount(ULONG* p) override { return m_sp->GetFunctionCount(p); }
    HRESULT GetInputName(ULONG i, std::wstring* p) override { return m_sp->GetInputName(i, p); }
    HRESULT GetFunctionName(ULONG f, std::wstring* p) override { return m_sp->GetFunctionName(f, p); }
    HRESULT GetRecordCount(ULONG* p) override { return m_sp->GetRecordCount(p); }
    HRESULT GetInputValue(ULONG r, ULONG i, double* p) override { return ++recordCalls, m_sp->GetInputValue(r, i, p); }
    HRESULT GetFunctionValue(ULONG r, ULONG f, double* p) override { return m_sp->GetFunctionValue(r, f, p); }
    HRESULT GetDataType(LONG* p) override { return m_sp->GetDataType(p); }
    HRESULT GetSignalName(ULONG i, std::wstring* p) override { return m_sp->GetSignalName(i, p); }
    HRESULT GetInputValueIndex(ULONG r, ULONG i, std::uint64_t* p) override
    {
        return ++recordCalls, m_spEx->GetInputValueIndex(r, i, p);
    }
    HRESULT GetInputValueByIndex(std::uint64_t k, ULONG i, double* p) override
    {
        return m_spEx->GetInputValueByIndex(k, i, p);
    }

    HRESULT GetInputValueIndexColumn(ULONG input, const std::uint32_t** pp, ULONG* pCount) override
    {
        if (FAILED(indexColumnResult))
            return indexColumnResult;
        const HRESULT hr = m_spColumns->GetInputValueIndexColumn(input, pp, pCount);
        if (!keys.empty() && input == replacedInput)
            *pp = keys.data();
        *pCount += countDelta;
        return hr;
    }
    HRESULT GetFunctionValueColumn(ULONG f, const double** pp, ULONG* pCount) override
    {
        return m_spColumns->GetFunctionValueColumn(f, pp, pCount);
    }
    HRESULT GetInputDistinctValues(ULONG input, const double** pp, ULONG* pCount) override
    {
        if (FAILED(distinctResult))
            return distinctResult;
        const HRESULT hr = m_spColumns->GetInputDistinctValues(input, pp, pCount);
        *pCount += distinctDelta;
        return hr;
    }

private:
    ComPtr<IOptimizationResultsDataSource> m_sp;
    ComPtr<IOptimizationResultsDataSourceEx> m_spEx;
    ComPtr<IOptimizationResultsDataColumns> m_spColumns;
};

// The model read record by record through the per-record getters alone.
void ReadByRecords(IOptimizationResultsDataSource* data, CInputConfigModel& model)
{
    auto source = platform::MakeCom<CForwardingSource>(data);
    source->offerColumns = false;
    ASSERT_EQ(S_OK, model.Initialize(source.Get(), nullptr));
    ASSERT_GT(source->recordCalls, 0);
}

void ExpectSameModel(const CInputConfigModel& expected, const CInputConfigModel& actual)
{
    EXPECT_EQ(expected.FunctionNames(), actual.FunctionNames());
    ASSERT_EQ(expected.Inputs().size(), actual.Inputs().size());
    for (std::size_t i = 0; i < expected.Inputs().size(); ++i) {
        SCOPED_TRACE(i);
        const InputInfo& e = expected.Inputs()[i];
        const InputInfo& a = actual.Inputs()[i];
        EXPECT_EQ(e.name, a.name);
        EXPECT_EQ(e.current, a.current);
        EXPECT_EQ(e.fixed, a.fixed);
        ASSERT_EQ(e.values.size(), a.values.size());
        expected.EnsureRecords(i);
        actual.EnsureRecords(i);
        for (std::size_t v = 0; v < e.values.size(); ++v) {
            ASSERT_EQ(e.values[v].first, a.values[v].first) << "value " << v;
            // Bit for bit: the first record's double, signed zero included.
            ASSERT_EQ(std::bit_cast<std::uint64_t>(e.values[v].second.value),
                      std::bit_cast<std::uint64_t>(a.values[v].second.value))
                << "value " << v;
            const auto& er = e.values[v].second.records;
            const auto& ar = a.values[v].second.records;
            ASSERT_TRUE(std::equal(er.begin(), er.end(), ar.begin(), ar.end())) << "records of value " << v;
        }
    }
}

// The answers the dialog reads: votes, record, slice size, current values and
// (when asked) what each value can reach.
void ExpectSameAnswers(CInputConfigModel& expected, CInputConfigModel& actual, bool reach = true)
{
    ASSERT_EQ(expected.GetMaxHits(), actual.GetMaxHits());
    ASSERT_EQ(expected.CurrentRecord(), actual.CurrentRecord());
    ASSERT_EQ(expected.CountSliceRecords(), actual.CountSliceRecords());
    for (std::size_t i = 0; i < expected.GetInputCount(); ++i) {
        ASSERT_EQ(expected.Inputs()[i].current, actual.Inputs()[i].current) << "input " << i;
        for (std::size_t v = 0; reach && v < expected.Inputs()[i].values.size(); ++v)
            ASSERT_EQ(expected.IsReachable(i, v), actual.IsReachable(i, v)) << "input " << i << " value " << v;
    }
}

std::size_t Placed(const CInputConfigModel& m)
{
    std::size_t placed = 0;
    for (std::size_t i = 0; i < m.GetInputCount(); ++i)
        placed += m.AreRecordsPlaced(i);
    return placed;
}

// Grid in nested order (runs of every length), a tiny table with signed zeros,
// and one large enough to be read on two threads.
std::vector<std::vector<std::vector<double>>> Shapes()
{
    std::vector<std::vector<std::vector<double>>> shapes;
    std::vector<std::vector<double>> grid(4);
    for (int a = 0; a < 21; ++a)
        for (int b = 0; b < 19; ++b)
            for (int c = 0; c < 5; ++c)
                for (int d = 0; d < 5; ++d) {
                    grid[0].push_back(-1.0 + 0.1 * a);
                    grid[1].push_back(b * 3.0);
                    grid[2].push_back(c * 0.25);
                    grid[3].push_back(1.0 - d * 0.25);
                }
    shapes.push_back(grid);

    std::mt19937 random(11);
    shapes.push_back({{3.0, 1.0, 3.0, -0.0, 0.0, 1.0, 2.0}, {0.0, 0.0, 0.5, 0.5, 0.5, 0.0, 1.0}});

    std::vector<std::vector<double>> large(4);
    for (int r = 0; r < 270'001; ++r) {
        large[0].push_back(r / 900);
        large[1].push_back((r / 3) % 300);
        large[2].push_back(static_cast<double>(random() % 5));
        large[3].push_back(r % 5);
    }
    shapes.push_back(large);
    return shapes;
}

TEST(ModelColumns, ColumnsAndRecordsBuildTheSameModel)
{
    FakeSnagwise snag;
    for (const auto& shape : Shapes()) {
        SCOPED_TRACE(shape.front().size());
        const auto data = MakeData(shape);
        CInputConfigModel byRecords, byColumns;
        ReadByRecords(data.Get(), byRecords);
        auto source = platform::MakeCom<CForwardingSource>(data.Get());
        ASSERT_EQ(S_OK, byColumns.Initialize(source.Get(), nullptr));
        EXPECT_EQ(0, source->recordCalls);
        ExpectSameModel(byRecords, byColumns);
    }
    // -0.0 (record 3) and 0.0 (record 4) are one value, 0.0.
    CInputConfigModel tiny;
    ASSERT_EQ(S_OK, tiny.Initialize(MakeData(Shapes()[1]).Get(), nullptr));
    tiny.EnsureRecords(0);
    const ValueInfo& zero = tiny.Inputs()[0].values[0].second;
    EXPECT_FALSE(std::signbit(zero.value));
    EXPECT_EQ((std::vector<std::uint32_t>{3, 4}), std::vector<std::uint32_t>(zero.records.begin(), zero.records.end()));
    EXPECT_TRUE(snag.Asserts().empty());
}

// Pins, steps, typed numbers and following a value: a model reading the key
// columns (records never placed) answers as one walking placed records.
TEST(ModelColumns, PinsAndStepsAnswerAsWithPlacedRecords)
{
    FakeSnagwise snag;
    for (const auto& shape : Shapes()) {
        if (shape.size() < 3)
            continue;
        SCOPED_TRACE(shape.front().size());
        const auto data = MakeData(shape);
        CInputConfigModel byRecords, byColumns;
        ReadByRecords(data.Get(), byRecords);
        ASSERT_EQ(S_OK, byColumns.Initialize(data.Get(), nullptr));
        const std::size_t last = shape.size() - 1;
        double typed = 0.37;
        const std::vector<std::pair<const char*, std::function<void(CInputConfigModel&)>>> steps = {
            {"select 0", [](CInputConfigModel& m) { m.SelectRecord(0, false); }},
            {"pin 2", [](CInputConfigModel& m) { m.SetFixed(2, true); }},
            {"step up 0", [](CInputConfigModel& m) { m.StepUp(0, 3); }},
            {"follow 0", [](CInputConfigModel& m) { m.FollowValue(0); }},
            {"pin last", [last](CInputConfigModel& m) { m.SetFixed(static_cast<int>(last), true); }},
            {"type 1", [&typed](CInputConfigModel& m) {
                 double v = typed;
                 m.ChangeValue(1, CInputConfigModel::kTypedNumber, &v);
             }},
            {"step down 1", [](CInputConfigModel& m) { m.StepDown(1, 2); }},
            {"unpin 2", [](CInputConfigModel& m) { m.SetFixed(2, false); }},
            {"pin 0 over a range", [](CInputConfigModel& m) {
                 m.HoldRange(0, m.Input(0).values[1].second.value, m.Input(0).values[3].second.value);
                 m.SetFixed(0, true);
             }},
            {"step up last", [last](CInputConfigModel& m) { m.StepUp(last, 1); }},
            {"follow last", [last](CInputConfigModel& m) { m.FollowValue(last); }},
        };
        for (const auto& [name, step] : steps) {
            SCOPED_TRACE(name);
            step(byRecords);
            step(byColumns);
            ExpectSameAnswers(byRecords, byColumns);
        }
        // Read again from other data, the model forgets what it found of the inputs before.
        const auto other = MakeData(Shapes()[1]);
        ReadByRecords(other.Get(), byRecords);
        ASSERT_EQ(S_OK, byColumns.Initialize(other.Get(), nullptr));
        ExpectSameAnswers(byRecords, byColumns);
        // None of it needed the records placed here: any input whose records
        // are placed had them placed aside.
        EXPECT_LE(Placed(byColumns), byColumns.RecordsPlacedAside());
    }
    EXPECT_TRUE(snag.Asserts().empty());
}

// An input stepped through again and again gets its records placed: on a
// thread of its own while the model goes on scanning, or, without a thread
// to spare, on the calling thread. Either way the answers stay those of the
// records read one by one.
TEST(ModelColumns, RecordsPlacedAsideOrHereAnswerAsRecords)
{
    FakeSnagwise snag;
    const auto shape = Shapes().front();
    const auto data = MakeData(shape);
    for (const bool threads : {true, false}) {
        SCOPED_TRACE(threads ? "placed aside" : "placed here");
        std::optional<platform::ScopedThreadStartFailure> noThreads;
        if (!threads)
            noThreads.emplace();
        CInputConfigModel byRecords, byColumns;
        ReadByRecords(data.Get(), byRecords);
        ASSERT_EQ(S_OK, byColumns.Initialize(data.Get(), nullptr));
        const auto step = [&](int k) {
            for (CInputConfigModel* m : {&byRecords, &byColumns}) {
                double v = 0;
                m->ChangeValue(2, k % 4 < 2 ? SB_LINEUP : SB_LINEDOWN, &v);
            }
            ExpectSameAnswers(byRecords, byColumns, false);
        };
        for (CInputConfigModel* m : {&byRecords, &byColumns})
            m->SelectRecord(0, false);
        for (int k = 0; k < 8; ++k)
            step(k);
        if (!threads) {
            EXPECT_EQ(Placed(byColumns), 1u); // placed here by now
        }
        // Aside, the model switches to the placed records at the first scan
        // after they are done.
        for (int k = 0; k < 500 && Placed(byColumns) == 0; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            step(k);
        }
        EXPECT_EQ(Placed(byColumns), 1u);
        EXPECT_EQ(byColumns.RecordsPlacedAside(), threads ? 1u : 0u);
        for (int k = 0; k < 8; ++k)
            step(k);
    }
    EXPECT_TRUE(snag.Asserts().empty());
}

TEST(ModelColumns, ColumnsThatDoNotFitAreLeftForTheRecords)
{
    FakeSnagwise snag;
    const auto data = MakeData(Shapes()[0]);
    CInputConfigModel reference;
    ReadByRecords(data.Get(), reference);

    const auto spoilKey = [&data](ULONG input, std::size_t record) {
        return [&data, input, record](CForwardingSource& s) {
            ComPtr<IOptimizationResultsDataColumns> columns(data);
            const std::uint32_t* keys = nullptr;
            const double* values = nullptr;
            ULONG n = 0, distinct = 0;
            columns->GetInputValueIndexColumn(input, &keys, &n);
            columns->GetInputDistinctValues(input, &values, &distinct);
            s.replacedInput = input;
            s.keys.assign(keys, keys + n);
            s.keys[record] = distinct;
        };
    };
    const std::vector<std::function<void(CForwardingSource&)>> spoilers = {
        [](CForwardingSource& s) { s.indexColumnResult = E_FAIL; },
        [](CForwardingSource& s) { s.distinctResult = E_UNEXPECTED; },
        [](CForwardingSource& s) { s.countDelta = -1; },
        [](CForwardingSource& s) { s.countDelta = 1; },
        // More distinct values than records cannot be.
        [](CForwardingSource& s) { s.distinctDelta = 10'000; },
        // A key at the distinct count: inputs with few values (the last,
        // read after the others) and with many, early and late records.
        spoilKey(3, 5),
        spoilKey(3, 9974),
        spoilKey(0, 4),
        spoilKey(0, 9974),
    };
    for (std::size_t k = 0; k < spoilers.size(); ++k) {
        SCOPED_TRACE(k);
        auto source = platform::MakeCom<CForwardingSource>(data.Get());
        spoilers[k](*source);
        CInputConfigModel model;
        ASSERT_EQ(S_OK, model.Initialize(source.Get(), nullptr));
        EXPECT_GT(source->recordCalls, 0);
        ExpectSameModel(reference, model);
    }

    // Distinct counts above the keys in use leave no empty values behind.
    auto wide = platform::MakeCom<CForwardingSource>(data.Get());
    wide->distinctDelta = 3;
    CInputConfigModel model;
    ASSERT_EQ(S_OK, model.Initialize(wide.Get(), nullptr));
    EXPECT_EQ(0, wide->recordCalls);
    ExpectSameModel(reference, model);
    EXPECT_TRUE(snag.Asserts().empty());
}

// The records a slice iterator delivers: X and Y value indices and the height.
std::vector<std::tuple<std::uint64_t, std::uint64_t, double>> Slice(IOptimizationResultsDataSource* source,
                                                                     std::vector<FixedInput> fixed)
{
    CDataTransformer transformer(source);
    transformer.m_nInputX = 1;
    transformer.m_nInputY = 3;
    transformer.m_Fixed = std::move(fixed);
    boost::shared_ptr<IDataIterator> it;
    EXPECT_TRUE(transformer.GetDataIterator(&it));
    std::vector<std::tuple<std::uint64_t, std::uint64_t, double>> out;
    for (bool more = it->Begin(); more; more = it->Next()) {
        std::uint64_t x = 0, y = 0;
        double z = 0;
        it->GetDataInt(&x, &y, &z);
        out.emplace_back(x, y, z);
    }
    return out;
}

TEST(TransformerColumns, ColumnsAndRecordsGiveTheSameSlice)
{
    FakeSnagwise snag;
    const auto data = MakeData(Shapes()[2]); // 270,001 records, inputs 0 and 2 held
    const std::uint64_t distinct0 = 301, distinct2 = 5;
    // Held at one value (none there, or past the last), over ranges and "All"
    // (a span reaching past the last index too).
    const std::vector<std::vector<FixedInput>> choices = {
        {{0, 0}, {2, 0}},           {{0, 300}, {2, 4}},         {{0, 7}, {2, 9}},
        {{0, distinct0}, {2, 1}},   {{0, 123}, {2, 3}},         {{0, 10, 20}, {2, 1, 2}},
        {{0, 0, distinct0 - 1}, {2, 3, 0}}, {{0, 295, 100}, {2, 0, distinct2 - 1}}};
    for (const auto& fixed : choices) {
        SCOPED_TRACE(::testing::Message() << fixed[0].nValue << "+" << fixed[0].nSpan << ", " << fixed[1].nValue << "+"
                                          << fixed[1].nSpan);
        auto byRecords = platform::MakeCom<CForwardingSource>(data.Get());
        byRecords->offerColumns = false;
        const auto expected = Slice(byRecords.Get(), fixed);
        ASSERT_GT(byRecords->recordCalls, 270'000);

        auto byColumns = platform::MakeCom<CForwardingSource>(data.Get());
        const auto actual = Slice(byColumns.Get(), fixed);
        EXPECT_EQ(expected, actual);
        // Only the delivered records are asked for their X and Y.
        EXPECT_EQ(byColumns->recordCalls, static_cast<int>(2 * actual.size()));

        // A column of the wrong length is not used; the records still answer.
        auto shortColumns = platform::MakeCom<CForwardingSource>(data.Get());
        shortColumns->countDelta = -1;
        EXPECT_EQ(expected, Slice(shortColumns.Get(), fixed));
        EXPECT_GT(shortColumns->recordCalls, 270'000);
    }
    EXPECT_TRUE(snag.Asserts().empty());
}

} // namespace
