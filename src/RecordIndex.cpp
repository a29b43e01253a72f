#include "RecordIndex.h"

#include "platform/hugepages.h"
#include "diagnostics/snagwise.h"
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataColumns.h"
#include "platform/parallel.h"
#include "platform/threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <cwctype>
#include <exception>
#include <limits>
#include <thread>
#include <unordered_map>

using namespace IQX_VantixDataProvider;

CRecordPool::CRecordPool(std::size_t n) : m_nSize(n)
{
    // Left uninitialised: every element is written before it is read.
    if (n > 0)
        m_pData = static_cast<std::uint32_t*>(platform::CHugePageAllocator<std::uint32_t>().allocate(n));
}

CRecordPool::~CRecordPool()
{
    if (m_pData)
        platform::CHugePageAllocator<std::uint32_t>().deallocate(m_pData, m_nSize);
}

std::size_t InputInfo::Find(std::uint64_t key) const
{
    // Keys are normally 0 .. n-1, so the key is its own position.
    if (key < values.size() && values[static_cast<std::size_t>(key)].first == key)
        return static_cast<std::size_t>(key);
    const auto it = std::lower_bound(values.begin(), values.end(), key,
                                     [](const auto& entry, std::uint64_t k) { return entry.first < k; });
    return it != values.end() && it->first == key ? static_cast<std::size_t>(it - values.begin()) : npos;
}

CRecordIndex::CRecordIndex() = default;
CRecordIndex::~CRecordIndex() = default;

void CRecordIndex::Reset(IOptimizationResultsDataSource* pSource)
{
    if (pSource && pSource != m_spSource.Get()) {
        m_spSource = pSource;
        m_spSourceEx.QueryFrom(pSource);
    }
    Clear();
}

void CRecordIndex::Clear()
{
    m_Inputs.clear();
    m_Placements.clear();
    m_KeyColumns.clear();
    m_spKeyColumns.Reset();
}

void CRecordIndex::DropEmptyInputs()
{
    // The per-input columns and placements move with their inputs.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
        if (m_Inputs[i].values.empty())
            continue;
        if (kept != i) {
            m_Inputs[kept] = std::move(m_Inputs[i]);
            if (i < m_Placements.size())
                m_Placements[kept] = std::move(m_Placements[i]);
            if (i < m_KeyColumns.size())
                m_KeyColumns[kept] = m_KeyColumns[i];
        }
        ++kept;
    }
    m_Inputs.resize(kept);
    m_Placements.resize(kept);
    if (m_KeyColumns.size() > kept)
        m_KeyColumns.resize(kept);
    for (InputInfo& in : m_Inputs)
        in.current = 0;
}

bool CRecordIndex::SourceKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const
{
    return m_spSourceEx && SUCCEEDED(m_spSourceEx->GetInputValueIndex(r, static_cast<ULONG>(i), &key));
}

HRESULT CRecordIndex::FillInputNames(const ULONG nInputs)
{
    if (!m_spSource)
        return E_NOINTERFACE;
    for (ULONG i = 0; i < nInputs; ++i) {
        std::wstring name, signal;
        const HRESULT res1 = m_spSource->GetInputName(i, &name);
        SW_ASSERT(S_OK == res1);
        const HRESULT res2 = m_spSource->GetSignalName(i, &signal);
        if (FAILED(res1) || FAILED(res2)) {
            Clear();
            return E_FAIL;
        }
        InputInfo info;
        info.name = signal + L":" + name;
        m_Inputs.push_back(std::move(info));
    }
    m_Placements.assign(m_Inputs.size(), nullptr);
    return S_OK;
}

namespace {

// One input as the source's columns show it.
struct InputColumn {
    const std::uint32_t* pKeys = nullptr;
    const double* pDistinct = nullptr; // the value of each key
    std::uint32_t nDistinct = 0;
};

// Records are taken eight at a time: eight with one key (runs of a grid's
// slower inputs) are counted and placed in one step.
constexpr std::uint32_t kChunk = 8;

bool SameKey(const std::uint32_t* keys, std::uint32_t k)
{
    std::uint32_t diff = 0;
    for (std::uint32_t j = 0; j < kChunk; ++j)
        diff |= keys[j] ^ k;
    return diff == 0;
}

// Visits the records of consecutive parts side by side, a chunk of each part
// in turn: chunk(p, r) for records r .. r + kChunk - 1 of part p, then one(p, r)
// for the records left at the ends of the parts.
template <class Chunk, class One>
void WalkParts(const std::array<std::uint32_t, 5>& bound, std::size_t parts, Chunk chunk, One one)
{
    // The last part is the shortest.
    const std::uint32_t chunks = (bound[parts] - bound[parts - 1]) / kChunk;
    for (std::uint32_t c = 0; c < chunks; ++c)
        for (std::size_t p = 0; p < parts; ++p)
            chunk(p, bound[p] + c * kChunk);
    for (std::size_t p = 0; p < parts; ++p)
        for (std::uint32_t r = bound[p] + chunks * kChunk; r < bound[p + 1]; ++r)
            one(p, r);
}

// Counts of the keys 0 .. D-1 in keys[0 .. n), four keys compared with every
// key at once; false when a key is D or above.
template <std::uint32_t D>
bool CountFewKeys(const std::uint32_t* keys, std::uint32_t n, std::uint32_t* counts)
{
    using Lanes = std::uint32_t __attribute__((vector_size(16)));
    Lanes lanes[D] = {};
    std::uint32_t r = 0;
    for (; r + 4 <= n; r += 4) {
        Lanes v;
        std::memcpy(&v, keys + r, sizeof v);
        for (std::uint32_t k = 0; k < D; ++k)
            lanes[k] -= reinterpret_cast<Lanes>(v == Lanes{k, k, k, k}); // a match is all ones
    }
    std::uint64_t total = 0;
    for (std::uint32_t k = 0; k < D; ++k) {
        counts[k] = lanes[k][0] + lanes[k][1] + lanes[k][2] + lanes[k][3];
        total += counts[k];
    }
    for (; r < n; ++r) {
        if (keys[r] >= D)
            return false;
        ++counts[keys[r]];
        ++total;
    }
    return total == n;
}

using CountFewKeysFn = bool (*)(const std::uint32_t*, std::uint32_t, std::uint32_t*);
constexpr std::uint32_t kFewKeys = 8;
constexpr CountFewKeysFn kCountFewKeys[kFewKeys + 1] = {
    nullptr,          &CountFewKeys<1>, &CountFewKeys<2>, &CountFewKeys<3>, &CountFewKeys<4>,
    &CountFewKeys<5>, &CountFewKeys<6>, &CountFewKeys<7>, &CountFewKeys<8>};

} // namespace

// Places the records of one input, counted by BuildInputFromColumn, into its
// pool: the second half of the counting sort, left until the records are
// asked for (EnsureRecords). Questions about them are answered from the key
// column meanwhile.
struct CRecordPlacement {
    ComPtr<IUnknown> spKeysOwner; // keeps the key column alive
    const std::uint32_t* keys = nullptr;
    std::uint32_t nRecords = 0;
    // Scans of the key column for one value's records so far. A scan reads
    // every record; an input stepped through or pinned again and again gets
    // its records placed instead (the dialog's steps stay under a millisecond).
    unsigned scans = 0;
    static constexpr unsigned kScansBeforePlacing = 4;
    std::size_t parts = 1;
    std::size_t stride = 1;
    std::array<std::uint32_t, 5> bound{};
    std::vector<std::uint32_t> cursors; // per part, per key: where its next record goes
    std::shared_ptr<CRecordPool> pool;
    // Placing the records of a large file takes longer than a step of the
    // dialog may: from the second scan on they are placed on a thread of
    // their own, and the index is scanned until they are (Finish then only joins).
    static constexpr unsigned kScansBeforePlacingAside = 1;
    std::thread worker;
    std::atomic<bool> placed{false};

    ~CRecordPlacement()
    {
        if (worker.joinable())
            worker.join();
    }
    // False when no thread could be had.
    bool StartAside()
    {
        if (!worker.joinable() && !placed.load())
            worker = platform::TryStartThread([this] {
                Run();
                placed.store(true, std::memory_order_release);
            });
        return worker.joinable();
    }
    void Finish()
    {
        if (worker.joinable())
            worker.join();
        else if (!placed.load())
            Run();
        placed.store(true);
    }

    void Run()
    {
        std::uint32_t* const block = pool->Data();
        std::uint32_t* const cursor = cursors.data();
        const auto placeOne = [&](std::size_t p, std::uint32_t r) { block[cursor[p * stride + keys[r]]++] = r; };
        WalkParts(
            bound, parts,
            [&](std::size_t p, std::uint32_t r) {
                const std::uint32_t k = keys[r];
                if (SameKey(keys + r, k)) {
                    std::uint32_t& c = cursor[p * stride + k];
                    std::uint32_t* const to = block + c;
                    for (std::uint32_t j = 0; j < kChunk; ++j)
                        to[j] = r + j;
                    c += kChunk;
                    return;
                }
                for (std::uint32_t j = 0; j < kChunk; ++j)
                    placeOne(p, r + j);
            },
            placeOne);
        cursors = {};
    }
};

namespace {

// A counting sort of the records by key: the input's values in key order, each
// with its records ascending in one block. The records are cut into up to four
// consecutive parts counted and placed side by side, so that a run of one key
// does not chain every step on one counter. False when a key is not below the
// distinct count.
bool BuildInputFromColumn(const InputColumn& column, std::uint32_t nRecords, InputInfo& in,
                          std::shared_ptr<CRecordPlacement>& placementOut)
{
    const std::uint32_t nDistinct = column.nDistinct;
    const std::uint32_t* const keys = column.pKeys;
    // Per part, per key (one spare slot takes keys out of range): first the
    // count, then where the part's next record of the key goes.
    const std::size_t parts = nRecords >= 4096 && nDistinct <= (1u << 20) ? 4 : 1;
    const std::size_t stride = static_cast<std::size_t>(nDistinct) + 1;
    std::vector<std::uint32_t> cursors(parts * stride, 0);
    std::uint32_t* const cursor = cursors.data();
    std::array<std::uint32_t, 5> bound{};
    const std::uint32_t partSize = static_cast<std::uint32_t>((nRecords + parts - 1) / parts);
    for (std::size_t p = 0; p <= parts; ++p)
        bound[p] = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{partSize} * p, nRecords));

    std::uint32_t outOfRange = 0;
    if (nDistinct > 0 && nDistinct <= kFewKeys) {
        for (std::size_t p = 0; p < parts; ++p)
            outOfRange |= !kCountFewKeys[nDistinct](keys + bound[p], bound[p + 1] - bound[p], cursor + p * stride);
    } else {
        const auto countOne = [&](std::size_t p, std::uint32_t r) {
            const std::uint32_t k = keys[r];
            outOfRange |= static_cast<std::uint32_t>(k >= nDistinct);
            ++cursor[p * stride + std::min(k, nDistinct)];
        };
        WalkParts(
            bound, parts,
            [&](std::size_t p, std::uint32_t r) {
                const std::uint32_t k = keys[r];
                if (k < nDistinct && SameKey(keys + r, k)) {
                    cursor[p * stride + k] += kChunk;
                    return;
                }
                for (std::uint32_t j = 0; j < kChunk; ++j)
                    countOne(p, r + j);
            },
            countOne);
    }
    if (outOfRange)
        return false;

    // Counts → positions: key after key, within a key part after part.
    std::vector<std::uint32_t> first(nDistinct);
    std::uint32_t offset = 0;
    std::size_t nValues = 0;
    for (std::uint32_t k = 0; k < nDistinct; ++k) {
        first[k] = offset;
        for (std::size_t p = 0; p < parts; ++p) {
            std::uint32_t& c = cursor[p * stride + k];
            const std::uint32_t n = c;
            c = offset;
            offset += n;
        }
        nValues += offset != first[k];
    }

    // The records are placed into the pool when they are first read.
    auto placement = std::make_shared<CRecordPlacement>();
    placement->keys = keys;
    placement->nRecords = nRecords;
    placement->parts = parts;
    placement->stride = stride;
    placement->bound = bound;
    placement->pool = std::make_shared<CRecordPool>(nRecords);
    std::uint32_t* const block = placement->pool->Data();
    InputInfo::ValueMap& values = in.values;
    values.clear();
    values.reserve(nValues);
    for (std::uint32_t k = 0; k < nDistinct; ++k) {
        // A key's records end where the next key's begin.
        const std::uint32_t begin = first[k], end = k + 1 < nDistinct ? first[k + 1] : offset;
        if (end == begin)
            continue;
        values.emplace_back(k, ValueInfo{std::span<const std::uint32_t>(block + begin, end - begin),
                                         column.pDistinct[k]});
    }
    placement->cursors = std::move(cursors);
    in.pool = placement->pool;
    placementOut = std::move(placement);
    return true;
}

} // namespace

HRESULT CRecordIndex::CollectValues(ULONG nInputs, ULONG nRecords)
{
    if (!CollectValueColumns(nInputs, nRecords)) {
        const HRESULT hr = CollectValueRecords(nInputs, nRecords);
        if (FAILED(hr))
            return hr;
    }
    CollectLabels();
    return S_OK;
}

bool CRecordIndex::CollectValueColumns(ULONG nInputs, ULONG nRecords)
{
    // A source without value indices goes the per-record way, which reports it.
    if (!m_spSourceEx)
        return false;
    IOptimizationResultsDataColumns* pRaw = nullptr;
    if (FAILED(m_spSource->QueryInterface(platform::uuidof<IOptimizationResultsDataColumns>(),
                                          reinterpret_cast<void**>(&pRaw))) ||
        !pRaw)
        return false;
    const auto spColumns = ComPtr<IOptimizationResultsDataColumns>::Attach(pRaw);

    std::vector<InputColumn> columns(nInputs);
    for (ULONG i = 0; i < nInputs; ++i) {
        ULONG nKeys = 0, nDistinct = 0;
        if (FAILED(spColumns->GetInputValueIndexColumn(i, &columns[i].pKeys, &nKeys)) ||
            FAILED(spColumns->GetInputDistinctValues(i, &columns[i].pDistinct, &nDistinct)))
            return false;
        // Every distinct value occurs in some record.
        if (nKeys != nRecords || !columns[i].pKeys || (nDistinct > 0 && !columns[i].pDistinct) ||
            nDistinct > nRecords)
            return false;
        columns[i].nDistinct = nDistinct;
    }

    // The inputs are independent: for large sources a second thread takes
    // every other one (this thread does them all when none can be started).
    std::vector<InputInfo> built(nInputs);
    std::vector<std::shared_ptr<CRecordPlacement>> placements(nInputs);
    std::vector<char> ok(nInputs, 0);
    const auto build = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < nInputs; i += step)
            ok[i] = BuildInputFromColumn(columns[i], nRecords, built[i], placements[i]);
    };
    const bool bLarge = nInputs > 1 && static_cast<std::uint64_t>(nRecords) * nInputs >= (1u << 20);
    platform::ParallelFor(bLarge ? 2 : 1, [&](int part, int parts) { build(std::size_t(part), std::size_t(parts)); });
    if (std::find(ok.begin(), ok.end(), 0) != ok.end())
        return false;
    m_KeyColumns.assign(nInputs, nullptr);
    m_spKeyColumns = ComPtr<IUnknown>(spColumns.Get());
    for (ULONG i = 0; i < nInputs; ++i) {
        m_KeyColumns[i] = columns[i].pKeys;
        m_Inputs[i].values = std::move(built[i].values);
        m_Inputs[i].pool = std::move(built[i].pool);
        m_Placements[i] = std::move(placements[i]);
        if (m_Placements[i])
            m_Placements[i]->spKeysOwner = ComPtr<IUnknown>(spColumns.Get());
    }
    return true;
}

HRESULT CRecordIndex::CollectValueRecords(ULONG nInputs, ULONG nRecords)
{
    // First pass: each (record, input) gets the slot of its key, slots in order
    // of first appearance, with a count per slot. Then every input's records
    // go into one block, value after value in key order, each value's records
    // ascending. Keys below the record count (all of them, for a provider that
    // numbers values 0 .. n-1) are found through a table.
    struct Slot {
        std::uint64_t key;
        double value;
        std::uint32_t count;
    };
    const std::size_t n = nInputs;
    std::vector<std::vector<Slot>> slots(n);
    std::vector<std::vector<std::uint32_t>> slotOfKey(n); // key → slot + 1
    std::vector<std::unordered_map<std::uint64_t, std::uint32_t>> farKeys(n);
    CRecordPool recordSlots(static_cast<std::size_t>(nRecords) * n);
    std::uint32_t* const pSlots = recordSlots.Data();

    for (ULONG r = 0; r < nRecords; ++r) {
        for (ULONG i = 0; i < nInputs; ++i) {
            double value = 0.0;
            std::uint64_t key = 0;
            HRESULT res = m_spSource->GetInputValue(r, i, &value);
            if (SUCCEEDED(res))
                res = m_spSourceEx->GetInputValueIndex(r, i, &key);
            if (FAILED(res)) {
                SW_ASSERT(S_OK == res);
                return res;
            }
            std::vector<Slot>& inputSlots = slots[i];
            std::uint32_t* pSlot = nullptr;
            if (key < nRecords) {
                auto& table = slotOfKey[i];
                if (key >= table.size())
                    table.resize(std::max<std::size_t>(static_cast<std::size_t>(key) + 1, table.size() * 2), 0);
                pSlot = &table[static_cast<std::size_t>(key)];
            } else {
                pSlot = &farKeys[i][key];
            }
            if (*pSlot == 0) {
                inputSlots.push_back({key, value, 0});
                *pSlot = static_cast<std::uint32_t>(inputSlots.size());
            }
            ++inputSlots[*pSlot - 1].count;
            pSlots[static_cast<std::size_t>(r) * n + i] = *pSlot - 1;
        }
    }
    slotOfKey.clear();
    farKeys.clear();

    // Per input: values in key order, and for every slot the position in the
    // input's block where its next record goes.
    std::vector<std::vector<std::uint32_t>> cursor(n);
    std::vector<std::shared_ptr<CRecordPool>> pools(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::uint32_t> order(slots[i].size());
        for (std::uint32_t s = 0; s < order.size(); ++s)
            order[s] = s;
        std::sort(order.begin(), order.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return slots[i][a].key < slots[i][b].key; });
        pools[i] = std::make_shared<CRecordPool>(nRecords);
        const std::uint32_t* const base = pools[i]->Data();
        InputInfo::ValueMap& values = m_Inputs[i].values;
        values.clear();
        values.reserve(order.size());
        cursor[i].resize(order.size());
        std::uint32_t offset = 0;
        for (const std::uint32_t s : order) {
            const Slot& slot = slots[i][s];
            values.emplace_back(slot.key, ValueInfo{std::span<const std::uint32_t>(base + offset, slot.count), slot.value});
            cursor[i][s] = offset;
            offset += slot.count;
        }
        m_Inputs[i].pool = pools[i];
    }
    slots.clear();
    std::vector<std::uint32_t*> blocks(n);
    for (std::size_t i = 0; i < n; ++i)
        blocks[i] = pools[i]->Data();
    for (ULONG r = 0; r < nRecords; ++r) {
        const std::uint32_t* row = pSlots + static_cast<std::size_t>(r) * n;
        for (std::size_t i = 0; i < n; ++i)
            blocks[i][cursor[i][row[i]]++] = r;
    }
    return S_OK;
}

std::wstring InputInfo::Label(std::size_t pos) const
{
    if (pos == nonePos)
        return IQX_VantixDataProvider::kNoneLabel;
    return pos < labels.size() ? labels[pos] : std::wstring();
}

std::size_t InputInfo::FindLabel(const std::wstring& text) const
{
    const auto lower = [](std::wstring t) {
        std::transform(t.begin(), t.end(), t.begin(), [](wchar_t c) { return std::towlower(c); });
        return t;
    };
    std::wstring want = lower(text);
    want.erase(0, want.find_first_not_of(L" \t"));
    want.erase(want.find_last_not_of(L" \t") + 1);
    if (want.empty() || !HasLabels())
        return npos;
    if (nonePos != npos && want == L"none")
        return nonePos;
    std::size_t prefixed = npos, prefixes = 0;
    for (std::size_t pos = 0; pos < values.size(); ++pos) {
        const std::wstring label = lower(Label(pos));
        if (label.empty())
            continue;
        if (label == want)
            return pos;
        if (label.compare(0, want.size(), want) == 0) {
            prefixed = pos;
            ++prefixes;
        }
    }
    return prefixes == 1 ? prefixed : npos;
}

void CRecordIndex::CollectLabels()
{
    using namespace IQX_VantixDataProvider;
    ComPtr<IOptimizationResultsDataMeaning> spMeaning;
    spMeaning.TryQueryFrom(m_spSource.Get());
    if (!spMeaning)
        return;
    for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
        InputInfo& in = m_Inputs[i];
        const auto input = static_cast<ULONG>(i);
        std::uint64_t none = 0;
        if (spMeaning->GetInputNoneIndex(input, &none) == S_OK) {
            in.nonePos = in.Find(none);
            if (in.nonePos != InputInfo::npos)
                in.values[in.nonePos].second.value = std::numeric_limits<double>::infinity();
        }
        if (spMeaning->IsInputLabelled(input) != S_OK)
            continue;
        in.labels.resize(in.values.size());
        for (std::size_t pos = 0; pos < in.values.size(); ++pos)
            if (spMeaning->GetInputValueLabel(input, in.values[pos].first, &in.labels[pos]) != S_OK)
                in.labels[pos].clear();
    }
}

void CRecordIndex::EnsureRecords(std::size_t i) const
{
    if (i >= m_Placements.size())
        return;
    if (const auto placement = std::exchange(m_Placements[i], nullptr))
        placement->Finish();
}

void CRecordIndex::CountScan(std::size_t i) const
{
    CRecordPlacement* placement = i < m_Placements.size() ? m_Placements[i].get() : nullptr;
    if (!placement)
        return;
    if (placement->placed.load(std::memory_order_acquire)) {
        EnsureRecords(i); // placed aside: from now on the records are read
        return;
    }
    ++placement->scans;
    if (placement->scans > CRecordPlacement::kScansBeforePlacingAside && !placement->worker.joinable() &&
        placement->StartAside()) {
        ++m_nPlacedAside;
        return;
    }
    if (placement->worker.joinable())
        return;
    if (placement->scans > CRecordPlacement::kScansBeforePlacing)
        EnsureRecords(i); // no thread to place them aside: here
}

bool CRecordIndex::Unplaced(std::size_t i, UnplacedKeys* pKeys) const
{
    const CRecordPlacement* placement = i < m_Placements.size() ? m_Placements[i].get() : nullptr;
    if (!placement)
        return false;
    *pKeys = {placement->keys, placement->nRecords, placement->stride};
    return true;
}
