// The data object's optional column views answer exactly what the per-record
// getters answer (readBack compares them), refuse bad arguments, and stay
// valid while any reference to the data object is held.
#include "OrsTestSupport.h"
#include "platform/threads.h"

#include "ors_provider/IQX_VantixDataColumns.h"

#include <algorithm>
#include <cmath>
#include <random>

using namespace orstest;

namespace {

// readBack checks the column views against the getters; these are the rest.
void expectColumnsMatchRecords(IOptimizationResultsDataSource* src)
{
    const Loaded l = readBack(src);
    for (std::size_t i = 0; i < l.indices.size(); ++i) {
        const std::uint64_t highest = l.records ? *std::max_element(l.indices[i].begin(), l.indices[i].end()) : 0;
        EXPECT_EQ(l.distinct[i].size(), l.records ? highest + 1 : 0) << "every distinct value is used";
    }
}

} // namespace

TEST(OrsColumns, MatchThePerRecordGettersForGridsShuffledDataAndSignedZeros)
{
    TempDir dir;
    smallSample().write(dir / "small.ors");

    // Shuffled records with repeated values, both zeros in one input.
    Sample mixed = smallSample();
    mixed.inputs.assign(2, {});
    mixed.functions.assign(2, {});
    std::mt19937 random(7);
    for (std::uint32_t r = 0; r < 5003; ++r) {
        mixed.inputs[0].push_back(static_cast<double>(random() % 17) * 0.25);
        mixed.inputs[1].push_back(r % 3 == 0 ? -0.0 : (r % 3 == 1 ? 0.0 : 1.5));
        mixed.functions[0].push_back(r);
        mixed.functions[1].push_back(-double(r));
    }
    mixed.header.recordCount = 5003;
    mixed.write(dir / "mixed.ors");

    // Enough records for two reading threads, one input continuous (more
    // distinct values than the hash table takes: sorted, read again from the
    // first piece) with both zeros, several read pieces.
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
    large.inputs[1][7] = -0.0;
    large.inputs[1][70000] = 0.0;
    large.header.recordCount = nLarge;
    large.write(dir / "large.ors");

    for (const char* name : {"small.ors", "mixed.ors", "large.ors"}) {
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

    const std::uint32_t* keys = nullptr;
    const double* values = nullptr;
    ULONG n = 0;
    const HRESULT noPointer[] = {columns->GetInputValueIndexColumn(0, nullptr, &n),
                                 columns->GetInputValueIndexColumn(0, &keys, nullptr),
                                 columns->GetInputDistinctValues(0, nullptr, &n),
                                 columns->GetInputDistinctValues(0, &values, nullptr),
                                 columns->GetFunctionValueColumn(0, nullptr, &n),
                                 columns->GetFunctionValueColumn(0, &values, nullptr)};
    for (const HRESULT hr : noPointer)
        EXPECT_EQ(hr, E_POINTER);
    for (const HRESULT hr : {columns->GetInputValueIndexColumn(2, &keys, &n),
                             columns->GetInputDistinctValues(2, &values, &n),
                             columns->GetFunctionValueColumn(2, &values, &n)})
        EXPECT_EQ(hr, E_INVALIDARG);

    // Only the column reference is left; the arrays are still the object's.
    const double* lag = nullptr;
    ULONG distinct = 0;
    ASSERT_EQ(columns->GetInputDistinctValues(1, &values, &distinct), S_OK);
    ASSERT_EQ(columns->GetInputValueIndexColumn(1, &keys, &n), S_OK);
    ASSERT_EQ(columns->GetFunctionValueColumn(1, &lag, &n), S_OK);
    r.source = nullptr;
    ASSERT_EQ(n, 11u);
    // The last record is (300, 4): index 3 of 0.5, 1, 2, 4.
    ASSERT_EQ(distinct, 4u);
    EXPECT_TRUE(keys[0] == 0 && values[0] == 0.5 && keys[n - 1] == 3 && values[3] == 4.0 && lag[n - 1] == -4.0);
}
