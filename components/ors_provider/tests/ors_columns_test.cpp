// The data object's optional column views answer exactly what the per-record
// getters answer, refuse bad arguments, and stay valid while any reference to
// the data object is held.
#include "OrsTestSupport.h"
#include "platform/threads.h"

#include "ors_provider/IQX_VantixDataColumns.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

using namespace orstest;

namespace {

// Every column of every input against GetInputValue / GetInputValueIndex /
// GetInputValueByIndex, and the distinct count against the highest index.
void expectColumnsMatchRecords(IOptimizationResultsDataSource* src)
{
    ComPtr<IOptimizationResultsDataSourceEx> ex(src);
    ComPtr<IOptimizationResultsDataColumns> columns(src);
    ASSERT_TRUE(columns);
    ULONG inputs = 0, records = 0;
    src->GetInputCount(&inputs);
    src->GetRecordCount(&records);
    for (ULONG i = 0; i < inputs; ++i) {
        const std::uint32_t* keys = nullptr;
        const double* values = nullptr;
        ULONG nKeys = ~0u, distinct = ~0u;
        ASSERT_EQ(columns->GetInputValueIndexColumn(i, &keys, &nKeys), S_OK);
        ASSERT_EQ(columns->GetInputDistinctValues(i, &values, &distinct), S_OK);
        ASSERT_EQ(nKeys, records);
        EXPECT_TRUE(std::is_sorted(values, values + distinct));
        EXPECT_TRUE(std::adjacent_find(values, values + distinct) == values + distinct);
        std::uint64_t highest = 0;
        for (ULONG r = 0; r < records; ++r) {
            std::uint64_t key = 0;
            double value = 0;
            ASSERT_EQ(ex->GetInputValueIndex(r, i, &key), S_OK);
            ASSERT_EQ(src->GetInputValue(r, i, &value), S_OK);
            ASSERT_EQ(keys[r], key) << "input " << i << " record " << r;
            ASSERT_LT(key, distinct);
            // Bit for bit: -0.0 is held as 0.0 wherever it is read.
            double byIndex = NAN;
            ASSERT_EQ(ex->GetInputValueByIndex(key, i, &byIndex), S_OK);
            ASSERT_EQ(std::bit_cast<std::uint64_t>(values[key]), std::bit_cast<std::uint64_t>(value));
            ASSERT_EQ(std::bit_cast<std::uint64_t>(byIndex), std::bit_cast<std::uint64_t>(value));
            highest = std::max(highest, key);
        }
        if (records > 0) {
            EXPECT_EQ(distinct, highest + 1) << "input " << i;
            double top = 0;
            EXPECT_EQ(ex->GetInputValueByIndex(distinct - 1, i, &top), S_OK);
            EXPECT_EQ(ex->GetInputValueByIndex(distinct, i, &top), E_INVALIDARG);
        } else {
            EXPECT_EQ(distinct, 0u);
        }
    }
    ULONG functions = 0;
    src->GetFunctionCount(&functions);
    for (ULONG f = 0; f < functions; ++f) {
        const double* values = nullptr;
        ULONG n = ~0u;
        ASSERT_EQ(columns->GetFunctionValueColumn(f, &values, &n), S_OK);
        ASSERT_EQ(n, records);
        for (ULONG r = 0; r < records; ++r) {
            double value = 0;
            ASSERT_EQ(src->GetFunctionValue(r, f, &value), S_OK);
            ASSERT_EQ(values[r], value) << "function " << f << " record " << r;
        }
    }
}

} // namespace

TEST(OrsColumns, MatchThePerRecordGettersForGridsShuffledDataSignedZerosAndNoRecords)
{
    TempDir dir;
    smallSample().write(dir / "small.ors");

    // Shuffled records, repeated values, both zeros in one input, and one
    // input with nearly as many distinct values as records.
    Sample mixed = smallSample();
    mixed.inputs.assign(3, {});
    mixed.functions.assign(2, {});
    mixed.header.inputs.push_back({"Extra", "Gain"});
    std::mt19937 random(7);
    const std::uint32_t n = 5003;
    for (std::uint32_t r = 0; r < n; ++r) {
        mixed.inputs[0].push_back(static_cast<double>(random() % 17) * 0.25);
        mixed.inputs[1].push_back(r % 3 == 0 ? -0.0 : (r % 3 == 1 ? 0.0 : 1.5));
        mixed.inputs[2].push_back(static_cast<double>(random() % 4000) / 7.0);
        mixed.functions[0].push_back(r);
        mixed.functions[1].push_back(-double(r));
    }
    mixed.header.recordCount = n;
    mixed.write(dir / "mixed.ors");

    Sample none = smallSample();
    none.inputs.assign(2, {});
    none.functions.assign(2, {});
    none.header.recordCount = 0;
    none.write(dir / "none.ors");

    // Enough records for two reading threads, one input continuous (more
    // distinct values than the hash table takes), several read pieces.
    Sample large = smallSample();
    large.inputs.assign(2, {});
    large.functions.assign(2, {});
    const std::uint32_t nLarge = 250001;
    for (std::uint32_t r = 0; r < nLarge; ++r) {
        large.inputs[0].push_back(static_cast<double>(r % 301) - 150.0);
        large.inputs[1].push_back(std::ldexp(static_cast<double>(random()), -20));
        large.functions[0].push_back(r);
        large.functions[1].push_back(0.5 * r);
    }
    large.header.recordCount = nLarge;
    large.write(dir / "large.ors");

    for (const char* name : {"small.ors", "mixed.ors", "none.ors", "large.ors"}) {
        SCOPED_TRACE(name);
        auto r = load(dir / name);
        ASSERT_EQ(r.hr, S_OK);
        expectColumnsMatchRecords(r.source.Get());
    }
    // Without a second thread to be had, the reader does both shares itself.
    {
        const platform::ScopedThreadStartFailure noThreads;
        auto r = load(dir / "large.ors");
        ASSERT_EQ(r.hr, S_OK);
        expectColumnsMatchRecords(r.source.Get());
        double v = 0;
        r.source->GetInputValue(nLarge - 1, 1, &v);
        EXPECT_EQ(v, large.inputs[1].back());
    }

    // The two zeros are one value.
    auto r = load(dir / "mixed.ors");
    ComPtr<IOptimizationResultsDataColumns> columns(r.source);
    const double* zeros = nullptr;
    ULONG distinct = 0;
    ASSERT_EQ(columns->GetInputDistinctValues(1, &zeros, &distinct), S_OK);
    ASSERT_EQ(distinct, 2u);
    EXPECT_FALSE(std::signbit(zeros[0]));
    EXPECT_EQ(zeros[1], 1.5);
}

TEST(OrsColumns, RefuseBadArgumentsAndOutliveTheSourceReference)
{
    TempDir dir;
    smallSample().write(dir / "s.ors");
    auto r = load(dir / "s.ors");
    ASSERT_EQ(r.hr, S_OK);
    ComPtr<IOptimizationResultsDataColumns> columns(r.source);
    ASSERT_TRUE(columns);
    // The data object answers every interface from the one object.
    ComPtr<IOptimizationResultsDataSource> back(columns);
    EXPECT_EQ(back.Get(), r.source.Get());

    const std::uint32_t* keys = nullptr;
    const double* values = nullptr;
    ULONG n = 0;
    EXPECT_EQ(columns->GetInputValueIndexColumn(0, nullptr, &n), E_POINTER);
    EXPECT_EQ(columns->GetInputValueIndexColumn(0, &keys, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetInputDistinctValues(0, nullptr, &n), E_POINTER);
    EXPECT_EQ(columns->GetInputDistinctValues(0, &values, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetInputValueIndexColumn(2, &keys, &n), E_INVALIDARG);
    EXPECT_EQ(columns->GetInputDistinctValues(2, &values, &n), E_INVALIDARG);
    EXPECT_EQ(columns->GetFunctionValueColumn(0, nullptr, &n), E_POINTER);
    EXPECT_EQ(columns->GetFunctionValueColumn(0, &values, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetFunctionValueColumn(2, &values, &n), E_INVALIDARG);

    // Only the column reference is left; the arrays are still the object's.
    const double* lag = nullptr;
    ULONG distinct = 0;
    ASSERT_EQ(columns->GetInputDistinctValues(1, &values, &distinct), S_OK);
    ASSERT_EQ(columns->GetInputValueIndexColumn(1, &keys, &n), S_OK);
    ASSERT_EQ(columns->GetFunctionValueColumn(1, &lag, &n), S_OK);
    back = nullptr;
    r.source = nullptr;
    ASSERT_EQ(n, 11u);
    // The last record is (300, 4): index 3 of 0.5, 1, 2, 4.
    ASSERT_EQ(distinct, 4u);
    EXPECT_EQ(keys[n - 1], 3u);
    EXPECT_EQ(values[3], 4.0);
    EXPECT_EQ(keys[0], 0u);
    EXPECT_EQ(values[0], 0.5);
    EXPECT_EQ(lag[n - 1], -4.0);
}
