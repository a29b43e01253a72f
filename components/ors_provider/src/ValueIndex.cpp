#include "OrsFormat.h"
#include "ReadProgress.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <cstring>
#include <numeric>
#include <thread>
#include <utility>

namespace ors {

namespace {

constexpr std::uint64_t kExponent = 0x7FF0000000000000ull;
constexpr std::uint64_t kNegativeZero = 0x8000000000000000ull;
// A NaN pattern: never a key, since non-finite values are rejected first.
constexpr std::uint64_t kEmpty = ~0ull;

inline std::uint64_t bitsOf(double v)
{
    return std::bit_cast<std::uint64_t>(v);
}

// Open addressing over the values' bit patterns; maps a value to the order in
// which it was first seen. Result columns have few distinct values per input
// (a grid), so the table usually stays in L1.
class FirstSeenTable {
public:
    FirstSeenTable() { rehash(1024); }

    std::uint32_t idOf(std::uint64_t key)
    {
        std::size_t slot = hash(key);
        for (;;) {
            const std::uint64_t k = m_keys[slot];
            if (k == key)
                return m_ids[slot];
            if (k == kEmpty)
                break;
            slot = (slot + 1) & m_mask;
        }
        const auto id = static_cast<std::uint32_t>(m_order.size());
        m_keys[slot] = key;
        m_ids[slot] = id;
        m_order.push_back(std::bit_cast<double>(key));
        if (m_order.size() * 2 > m_keys.size())
            rehash(m_keys.size() * 2);
        return id;
    }
    // Values in first-seen order.
    const std::vector<double>& order() const { return m_order; }

private:
    std::size_t hash(std::uint64_t key) const
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    void rehash(std::size_t size)
    {
        m_keys.assign(size, kEmpty);
        m_ids.assign(size, 0);
        m_mask = size - 1;
        m_shift = 64 - std::countr_zero(size);
        for (std::uint32_t id = 0; id < m_order.size(); ++id) {
            const std::uint64_t key = bitsOf(m_order[id]);
            std::size_t slot = hash(key);
            while (m_keys[slot] != kEmpty)
                slot = (slot + 1) & m_mask;
            m_keys[slot] = key;
            m_ids[slot] = id;
        }
    }

    std::vector<std::uint64_t> m_keys;
    std::vector<std::uint32_t> m_ids;
    std::vector<double> m_order;
    std::size_t m_mask = 0;
    int m_shift = 0;
};

// Beyond this many distinct values the hash table no longer fits the caches
// and sorting the whole column is faster (random designs: every value distinct).
constexpr std::size_t kHashLimit = 1 << 16;

// Maps a finite double's bits to an unsigned key of the same order.
inline std::uint64_t orderedKey(std::uint64_t bits)
{
    return (bits & kNegativeZero) ? ~bits : bits | kNegativeZero;
}
inline double fromOrderedKey(std::uint64_t key)
{
    return std::bit_cast<double>((key & kNegativeZero) ? key & ~kNegativeZero : ~key);
}

// Least-significant-digit radix sort of (key, record) pairs, 11 bits a pass;
// passes in which every key has the same digit are skipped.
std::uint32_t sortedIndex(const ColumnPieces& column, std::uint32_t n, std::uint32_t* indices,
                          std::vector<double>& distinct)
{
    constexpr int kBits = 11;
    constexpr int kPasses = (64 + kBits - 1) / kBits;
    constexpr std::size_t kBuckets = std::size_t(1) << kBits;
    HugeArray<std::uint64_t> keys(n), keys2(n);
    HugeArray<std::uint32_t> records(n), records2(n);
    // All digit histograms in the one pass that builds the keys.
    std::vector<std::uint32_t> counts(kPasses * kBuckets, 0u);
    for (std::uint32_t first = 0; first < n; first += kPieceValues) {
        const std::uint32_t count = std::min(kPieceValues, n - first);
        const double* piece = column(first, count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t bits = bitsOf(piece[i]);
            if ((bits & kExponent) == kExponent)
                return first + i;
            if (bits == kNegativeZero)
                bits = 0;
            const std::uint64_t key = orderedKey(bits);
            const std::uint32_t r = first + i;
            keys[r] = key;
            records[r] = r;
            for (int p = 0; p < kPasses; ++p)
                ++counts[p * kBuckets + ((key >> (p * kBits)) & (kBuckets - 1))];
        }
    }
    std::uint64_t* src = keys.data();
    std::uint64_t* dst = keys2.data();
    std::uint32_t* srcRec = records.data();
    std::uint32_t* dstRec = records2.data();
    for (int p = 0; p < kPasses; ++p) {
        const int shift = p * kBits;
        std::uint32_t* count = counts.data() + p * kBuckets;
        if (count[(src[0] >> shift) & (kBuckets - 1)] == n)
            continue;
        std::uint32_t sum = 0;
        for (std::size_t b = 0; b < kBuckets; ++b)
            sum += std::exchange(count[b], sum);
        for (std::uint32_t r = 0; r < n; ++r) {
            const std::uint32_t at = count[(src[r] >> shift) & (kBuckets - 1)]++;
            dst[at] = src[r];
            dstRec[at] = srcRec[r];
        }
        std::swap(src, dst);
        std::swap(srcRec, dstRec);
    }
    distinct.clear();
    distinct.reserve(n);
    std::uint32_t ordinal = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (i == 0 || src[i] != src[i - 1]) {
            ordinal = std::uint32_t(distinct.size());
            distinct.push_back(fromOrderedKey(src[i]));
        }
        indices[srcRec[i]] = ordinal;
    }
    return n;
}

} // namespace

std::uint32_t BuildValueIndex(const ColumnPieces& column, std::uint32_t n, std::uint32_t* indices,
                              std::vector<double>& distinct)
{
    FirstSeenTable table;
    // Neighbouring records often share a value (outer loops of a design).
    // lastKey starts as kEmpty, a NaN that a column may hold as well: such a
    // first value would pass as a repeat and skip the check below.
    std::uint64_t lastKey = kEmpty;
    std::uint32_t lastId = 0;
    for (std::uint32_t first = 0; first < n; first += kPieceValues) {
        const std::uint32_t count = std::min(kPieceValues, n - first);
        const double* piece = column(first, count);
        if (first == 0 && bitsOf(piece[0]) == kEmpty)
            return 0;
        std::uint32_t* out = indices + first;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t key = bitsOf(piece[i]);
            if (key == lastKey) {
                out[i] = lastId;
                continue;
            }
            if ((key & kExponent) == kExponent)
                return first + i;
            lastKey = key;
            if (key == kNegativeZero)
                key = 0;
            // The fastest input of a design steps through its values in turn:
            // the value first seen after the last one is the likely next.
            const std::vector<double>& order = table.order();
            const std::uint32_t next = lastId + 1 < order.size() ? lastId + 1 : 0;
            lastId = !order.empty() && bitsOf(order[next]) == key ? next : table.idOf(key);
            out[i] = lastId;
            if (table.order().size() > kHashLimit)
                return sortedIndex(column, n, indices, distinct);
        }
    }

    const std::vector<double>& order = table.order();
    distinct = order;
    if (std::is_sorted(distinct.begin(), distinct.end()))
        return n; // first-seen order is already ascending: ids are the ordinals

    std::vector<std::uint32_t> byValue(order.size());
    std::iota(byValue.begin(), byValue.end(), 0u);
    std::sort(byValue.begin(), byValue.end(),
              [&](std::uint32_t a, std::uint32_t b) { return order[a] < order[b]; });
    std::vector<std::uint32_t> ordinal(order.size());
    for (std::uint32_t i = 0; i < byValue.size(); ++i) {
        ordinal[byValue[i]] = i;
        distinct[i] = order[byValue[i]];
    }
    const std::uint32_t* map = ordinal.data();
    for (std::uint32_t r = 0; r < n; ++r)
        indices[r] = map[indices[r]];
    return n;
}

std::uint32_t BuildValueIndex(const double* column, std::uint32_t n, std::uint32_t* indices,
                              std::vector<double>& distinct)
{
    return BuildValueIndex([column](std::uint32_t first, std::uint32_t) { return column + first; }, n, indices,
                           distinct);
}

double NoneValueAfter(double lo, double hi)
{
    double none = hi > lo ? hi + (hi - lo) / 10 : hi + 1;
    // A span far below the magnitude of the values would round back onto hi.
    if (!(none > hi))
        none = hi + std::max(1.0, std::fabs(hi)) * 1e-6;
    if (!std::isfinite(none))
        none = std::nextafter(hi, std::numeric_limits<double>::infinity());
    return none;
}

bool OrsHeader::hasMeaning() const
{
    for (const auto& in : inputs)
        if (in.labelled() || in.noneValue || in.scale != kLinearScale)
            return true;
    for (std::size_t f = 0; f < functions.size(); ++f)
        if (functionScale(f) != kLinearScale || functionDirection(f) != kMinimize)
            return true;
    return false;
}

HugeArray<double> ExpandInputValues(const OrsContent& content)
{
    const std::size_t n = content.header.recordCount;
    const std::size_t inputs = content.header.inputs.size();
    HugeArray<double> values(inputs * n);
    for (std::size_t i = 0; i < inputs; ++i) {
        const double* distinct = content.distinctValues[i].data();
        const std::uint32_t* index = content.valueIndices.data() + i * n;
        double* out = values.data() + i * n;
        for (std::size_t r = 0; r < n; ++r)
            out[r] = distinct[index[r]];
    }
    return values;
}

std::vector<std::uint32_t> BuildValueIndices(const double* values, std::size_t stride, std::uint32_t n,
                                             std::size_t inputs,
                                             std::uint32_t* indices, std::vector<std::vector<double>>& distinct,
                                             ReadProgress& progress)
{
    // From this many records on the second thread pays for itself.
    constexpr std::uint32_t kParallelRecords = 200000;
    distinct.assign(inputs, {});
    std::vector<std::uint32_t> bad(inputs, n);
    progress.BeginStage(100, std::uint64_t(inputs) * n);
    const bool split = inputs > 1 && n >= kParallelRecords && std::thread::hardware_concurrency() > 1;
    ParallelLoad(progress, split ? 2 : 1, [&](int first, int step) {
        for (std::size_t i = std::size_t(first); i < inputs; i += std::size_t(step)) {
            bad[i] = BuildValueIndex(values + i * stride, n, indices + i * std::size_t(n), distinct[i]);
            progress.Advance(n);
        }
    });
    return bad;
}

} // namespace ors
