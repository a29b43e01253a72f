// The data object's optional column views answer exactly what the per-record
// getters answer, refuse bad arguments, and stay valid while any reference to
// the data object is held.
#include "OrsTestSupport.h"

#include "ors_provider/IQX_VantixDataColumns.h"

#include <cmath>
#include <random>

using namespace orstest;

namespace {

// Every column of every input against GetInputValue / GetInputValueIndex, and
// the distinct count against the highest index.
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
        ULONG nKeys = ~0u, nValues = ~0u, distinct = ~0u;
        ASSERT_EQ(columns->GetInputValueIndexColumn(i, &keys, &nKeys), S_OK);
        ASSERT_EQ(columns->GetInputValueColumn(i, &values, &nValues), S_OK);
        ASSERT_EQ(columns->GetInputDistinctCount(i, &distinct), S_OK);
        ASSERT_EQ(nKeys, records);
        ASSERT_EQ(nValues, records);
        std::uint64_t highest = 0;
        for (ULONG r = 0; r < records; ++r) {
            std::uint64_t key = 0;
            double value = 0;
            ASSERT_EQ(ex->GetInputValueIndex(r, i, &key), S_OK);
            ASSERT_EQ(src->GetInputValue(r, i, &value), S_OK);
            ASSERT_EQ(keys[r], key) << "input " << i << " record " << r;
            // Bit for bit: -0.0 and 0.0 share an index but not their bits.
            ASSERT_EQ(std::signbit(values[r]), std::signbit(value));
            ASSERT_EQ(values[r], value);
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

    for (const char* name : {"small.ors", "mixed.ors", "none.ors"}) {
        SCOPED_TRACE(name);
        auto r = load(dir / name);
        ASSERT_EQ(r.hr, S_OK);
        expectColumnsMatchRecords(r.source.Get());
    }

    // The two zeros are one value.
    auto r = load(dir / "mixed.ors");
    ComPtr<IOptimizationResultsDataColumns> columns(r.source);
    ULONG distinct = 0;
    ASSERT_EQ(columns->GetInputDistinctCount(1, &distinct), S_OK);
    EXPECT_EQ(distinct, 2u);
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
    EXPECT_EQ(columns->GetInputValueColumn(0, nullptr, &n), E_POINTER);
    EXPECT_EQ(columns->GetInputValueColumn(0, &values, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetInputDistinctCount(0, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetInputValueIndexColumn(2, &keys, &n), E_INVALIDARG);
    EXPECT_EQ(columns->GetInputValueColumn(2, &values, &n), E_INVALIDARG);
    EXPECT_EQ(columns->GetInputDistinctCount(2, &n), E_INVALIDARG);
    EXPECT_EQ(columns->GetFunctionValueColumn(0, nullptr, &n), E_POINTER);
    EXPECT_EQ(columns->GetFunctionValueColumn(0, &values, nullptr), E_POINTER);
    EXPECT_EQ(columns->GetFunctionValueColumn(2, &values, &n), E_INVALIDARG);

    // Only the column reference is left; the arrays are still the object's.
    const double* lag = nullptr;
    ASSERT_EQ(columns->GetInputValueIndexColumn(1, &keys, &n), S_OK);
    ASSERT_EQ(columns->GetInputValueColumn(1, &values, &n), S_OK);
    ASSERT_EQ(columns->GetFunctionValueColumn(1, &lag, &n), S_OK);
    back = nullptr;
    r.source = nullptr;
    ASSERT_EQ(n, 11u);
    // The last record is (300, 4): index 3 of 0.5, 1, 2, 4.
    EXPECT_EQ(keys[n - 1], 3u);
    EXPECT_EQ(values[n - 1], 4.0);
    EXPECT_EQ(keys[0], 0u);
    EXPECT_EQ(values[0], 0.5);
    EXPECT_EQ(lag[n - 1], -4.0);
}
