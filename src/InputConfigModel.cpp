#include "InputConfigModel.h"
#include "ServerChoice.h"

#include "IDataTransfer.h"
#include "HugePageAllocator.h"
#include "IStaticInputChange.h"
#include "diagnostics/snagwise.h"
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/IQX_VantixDataColumns.h"
#include "platform/threads.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <cwctype>
#include <limits>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

using namespace IQX_VantixDataProvider;

CRecordPool::CRecordPool(std::size_t n) : m_nSize(n)
{
    // Left uninitialised: every element is written before it is read.
    if (n > 0)
        m_pData = static_cast<std::uint32_t*>(vantix::CHugePageAllocator<std::uint32_t>().allocate(n));
}

CRecordPool::~CRecordPool()
{
    if (m_pData)
        vantix::CHugePageAllocator<std::uint32_t>().deallocate(m_pData, m_nSize);
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

HRESULT CInputConfigModel::GetDataLength(ULONG& nInputs, ULONG& nFunctions, ULONG& nRecords)
{
    if (!m_spSource)
        return E_NOINTERFACE;
    HRESULT hr = m_spSource->GetInputCount(&nInputs);
    if (SUCCEEDED(hr))
        hr = m_spSource->GetFunctionCount(&nFunctions);
    if (FAILED(hr)) {
        SW_ASSERT(S_OK == hr);
        return hr;
    }
    if (nInputs < 2 || nFunctions == 0)
        return E_INVALIDARG;
    hr = m_spSource->GetRecordCount(&nRecords);
    if (FAILED(hr)) {
        SW_ASSERT(S_OK == hr);
        return hr;
    }
    return nRecords == 0 && !m_pServer ? E_INVALIDARG : S_OK;
}

HRESULT CInputConfigModel::FillFuncNames(const ULONG nFunctions)
{
    if (!m_spSource)
        return E_NOINTERFACE;
    for (ULONG f = 0; f < nFunctions; ++f) {
        std::wstring name;
        const HRESULT res = m_spSource->GetFunctionName(f, &name);
        if (FAILED(res)) {
            // An empty list is refused by the final validation.
            SW_ASSERT(S_OK == res);
            m_FuncNames.clear();
            break;
        }
        m_FuncNames.push_back(std::move(name));
    }
    return S_OK;
}

HRESULT CInputConfigModel::FillInputNames(const ULONG nInputs)
{
    if (!m_spSource)
        return E_NOINTERFACE;
    for (ULONG i = 0; i < nInputs; ++i) {
        std::wstring name, signal;
        const HRESULT res1 = m_spSource->GetInputName(i, &name);
        SW_ASSERT(S_OK == res1);
        const HRESULT res2 = m_spSource->GetSignalName(i, &signal);
        if (FAILED(res1) || FAILED(res2)) {
            m_Inputs.clear();
            return E_FAIL;
        }
        InputInfo info;
        info.name = signal + L":" + name;
        m_Inputs.push_back(std::move(info));
    }
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
// asked for (EnsureRecords). The model's own questions are answered from the
// key column meanwhile.
struct CRecordPlacement {
    ComPtr<IUnknown> spKeysOwner; // keeps the key column alive
    const std::uint32_t* keys = nullptr;
    std::uint32_t nRecords = 0;
    // Until then, which values are reachable is found by one scan of the key
    // column per change of the pins: per key, and the pin state it is for.
    std::vector<std::uint8_t> reachable;
    std::uint64_t reachableFor = 0;
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
    // their own, and the model scans until they are (Finish then only joins).
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

// Calls visit(r) for the records in which `in` has the value at pos, in
// ascending order, until visit returns false: from the value's record range
// once the records are placed, else by a scan of the input's key column
// (cheaper than placing them, for a pass or two).
template <class Visit>
void ForEachRecord(const InputInfo& in, std::size_t pos, Visit visit)
{
    if (const CRecordPlacement* placement = in.placement.get()) {
        const auto key = static_cast<std::uint32_t>(in.values[pos].first);
        const std::uint32_t* const keys = placement->keys;
        for (std::uint32_t r = 0; r < placement->nRecords; ++r)
            if (keys[r] == key && !visit(r))
                return;
        return;
    }
    for (const std::uint32_t r : in.values[pos].second.records)
        if (!visit(r))
            return;
}

// A counting sort of the records by key: the input's values in key order, each
// with its records ascending in one block. The records are cut into up to four
// consecutive parts counted and placed side by side, so that a run of one key
// does not chain every step on one counter. False when a key is not below the
// distinct count.
bool BuildInputFromColumn(const InputColumn& column, std::uint32_t nRecords, InputInfo& in)
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
    in.placement = std::move(placement);
    return true;
}

} // namespace

HRESULT CInputConfigModel::CollectValues(ULONG nInputs, ULONG nRecords)
{
    if (m_pServer)
        return m_pServer->CollectValues(m_Inputs);
    if (CollectValueColumns(nInputs, nRecords))
        return S_OK;
    return CollectValueRecords(nInputs, nRecords);
}

bool CInputConfigModel::CollectValueColumns(ULONG nInputs, ULONG nRecords)
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
    std::vector<char> ok(nInputs, 0);
    const auto build = [&](std::size_t from, std::size_t step) {
        for (std::size_t i = from; i < nInputs; i += step)
            ok[i] = BuildInputFromColumn(columns[i], nRecords, built[i]);
    };
    std::thread helper;
    std::exception_ptr failure;
    if (nInputs > 1 && static_cast<std::uint64_t>(nRecords) * nInputs >= (1u << 20))
        helper = platform::TryStartThread([&] {
            try {
                build(1, 2);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    try {
        build(0, helper.joinable() ? 2 : 1);
    } catch (...) {
        if (helper.joinable())
            helper.join();
        throw;
    }
    if (helper.joinable())
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
    if (std::find(ok.begin(), ok.end(), 0) != ok.end())
        return false;
    m_KeyColumns.assign(nInputs, nullptr);
    m_spKeyColumns = ComPtr<IUnknown>(spColumns.Get());
    for (ULONG i = 0; i < nInputs; ++i) {
        m_KeyColumns[i] = columns[i].pKeys;
        m_Inputs[i].values = std::move(built[i].values);
        m_Inputs[i].pool = std::move(built[i].pool);
        m_Inputs[i].placement = std::move(built[i].placement);
        if (m_Inputs[i].placement)
            m_Inputs[i].placement->spKeysOwner = ComPtr<IUnknown>(spColumns.Get());
    }
    return true;
}

HRESULT CInputConfigModel::CollectValueRecords(ULONG nInputs, ULONG nRecords)
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

void CInputConfigModel::CollectLabels()
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

bool CInputConfigModel::ChangeToLabel(int i, const std::wstring& text)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Inputs.size())
        return false;
    const auto n = static_cast<std::size_t>(i);
    InputInfo& in = m_Inputs[n];
    const std::size_t pos = in.FindLabel(text);
    if (pos == InputInfo::npos)
        return false;
    if (in.IsHeldOverRange())
        HoldOne(n);
    if (IsReachable(n, pos)) {
        in.current = pos;
    } else {
        const std::size_t up = FindReachableUp(n, pos);
        in.current = up != pos ? up : FindReachableDown(n, pos);
    }
    FollowValue(n);
    SelectRecord(m_nCurRecord, false);
    return true;
}

HRESULT CInputConfigModel::ValidateInputs()
{
    m_Inputs.erase(std::remove_if(m_Inputs.begin(), m_Inputs.end(),
                                  [](const InputInfo& in) { return in.values.empty(); }),
                   m_Inputs.end());
    for (InputInfo& in : m_Inputs)
        in.current = 0;
    return m_Inputs.size() < 2 || m_FuncNames.empty() ? E_INVALIDARG : S_OK;
}

HRESULT CInputConfigModel::Initialize(IOptimizationResultsDataSource* pSource, IDataTransfer* pPrevious)
{
    if (pSource && pSource != m_spSource.Get()) {
        m_spSource = pSource;
        m_spSourceEx.QueryFrom(pSource);
    }
    if (!m_spSource)
        return E_NOINTERFACE;
    m_Inputs.clear();
    m_FuncNames.clear();
    m_KeyColumns.clear();
    m_spKeyColumns.Reset();
    m_pServer = CServerChoice::Offered(m_spSource.Get());

    ULONG nInputs = 0, nFunctions = 0, nRecords = 0;
    const HRESULT hr = GetDataLength(nInputs, nFunctions, nRecords);
    if (FAILED(hr))
        return hr;
    m_nRecords = m_pServer ? static_cast<ULONG>(std::min<std::uint64_t>(m_pServer->TrialCount(),
                                                                         std::numeric_limits<ULONG>::max()))
                           : nRecords;
    HRESULT res = FillFuncNames(nFunctions);
    if (SUCCEEDED(res))
        res = FillInputNames(nInputs);
    if (FAILED(res)) {
        SW_ASSERT(S_OK == res);
        return res;
    }
    m_bLocked = false;

    if (pPrevious) {
        std::wstring x, y, function;
        pPrevious->GetInputXFullName(&x);
        pPrevious->GetInputYFullName(&y);
        pPrevious->GetFunctionName(&function);
        const auto byName = [](const std::wstring& name) {
            return [&name](const InputInfo& in) { return in.name == name; };
        };
        const auto itX = std::find_if(m_Inputs.begin(), m_Inputs.end(), byName(x));
        const auto itY = std::find_if(m_Inputs.begin(), m_Inputs.end(), byName(y));
        const auto itF = std::find(m_FuncNames.begin(), m_FuncNames.end(), function);
        if (itX == m_Inputs.end() || itY == m_Inputs.end() || itF == m_FuncNames.end())
            return S_FALSE;
        m_nInputX = static_cast<unsigned>(itX - m_Inputs.begin());
        m_nInputY = static_cast<unsigned>(itY - m_Inputs.begin());
        m_nFunction = static_cast<unsigned>(itF - m_FuncNames.begin());
        m_bLocked = true;
    }

    res = CollectValues(nInputs, nRecords);
    if (FAILED(res))
        return res;
    CollectLabels();
    res = ValidateInputs();
    if (FAILED(res)) {
        SW_ASSERT(res >= S_OK);
        m_Inputs.clear();
        m_FuncNames.clear();
        return res;
    }
    // Scattered designs rarely repeat a value: one held value would leave a
    // record or two, so their slices start over every value of every input.
    LONG lType = 0;
    if (SUCCEEDED(m_spSource->GetDataType(&lType)) && lType == 2)
        for (std::size_t i = 0; i < m_Inputs.size(); ++i)
            HoldAll(i);
    RefreshControls(true);
    return S_OK;
}

bool CInputConfigModel::GetHeldInput(unsigned i, FixedInput& held) const
{
    const int index = GetInputIndex(static_cast<int>(i));
    if (index < 0 || i > static_cast<unsigned>(INT32_MAX))
        return false;
    const InputInfo& in = m_Inputs[static_cast<std::size_t>(index)];
    if (!in.HasCurrent() && !in.IsHeldOverRange())
        return false;
    const auto [first, last] = in.HeldPositions();
    held.nInput = static_cast<std::uint32_t>(index);
    held.nValue = in.values[first].first;
    held.nSpan = in.values[last].first - held.nValue;
    return true;
}

std::uint64_t CInputConfigModel::KeyOf(std::size_t i, std::uint32_t r) const
{
    if (i < m_KeyColumns.size() && m_KeyColumns[i])
        return m_KeyColumns[i][r];
    std::uint64_t key = 0;
    if (FAILED(m_spSourceEx->GetInputValueIndex(r, static_cast<ULONG>(i), &key)))
        return ~std::uint64_t{0};
    return key;
}

std::uint64_t CInputConfigModel::CountSliceRecords() const
{
    if (m_pServer)
        return m_pServer->CountSlice(m_Inputs, m_nInputX, m_nInputY);
    struct Held {
        std::size_t i;
        std::uint64_t first, span; // value indices
        std::size_t nRecords;
    };
    std::vector<Held> held;
    for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
        const InputInfo& in = m_Inputs[i];
        if (i == m_nInputX || i == m_nInputY || in.IsHeldAtAll())
            continue;
        if (!in.HasCurrent() && !in.IsHeldOverRange())
            return 0;
        const auto [first, last] = in.HeldPositions();
        std::size_t nRecords = 0;
        for (std::size_t p = first; p <= last; ++p)
            nRecords += in.values[p].second.records.size();
        held.push_back({i, in.values[first].first, in.values[last].first - in.values[first].first, nRecords});
    }
    if (held.empty())
        return m_nRecords;
    // The narrowest hold picks the candidates, the others confirm.
    std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.nRecords < b.nRecords; });
    const auto others = [&](std::uint32_t r) {
        for (std::size_t k = 1; k < held.size(); ++k)
            if (KeyOf(held[k].i, r) - held[k].first > held[k].span)
                return false;
        return true;
    };
    std::uint64_t count = 0;
    const Held& driver = held.front();
    const InputInfo& in = m_Inputs[driver.i];
    // Counted again at every change in the dialog: an input counted from often
    // gets its records placed, and then only its held values' records are read.
    CountScan(driver.i);
    if (in.placement) {
        // Records not placed yet: one pass over the key column.
        const std::uint32_t* const keys = in.placement->keys;
        for (std::uint32_t r = 0; r < in.placement->nRecords; ++r)
            if (keys[r] - driver.first <= driver.span && others(r))
                ++count;
        return count;
    }
    const auto [first, last] = in.HeldPositions();
    for (std::size_t p = first; p <= last; ++p)
        for (const std::uint32_t r : in.values[p].second.records)
            count += others(r) ? 1 : 0;
    return count;
}

void CInputConfigModel::SetHold(std::size_t i, std::size_t first, std::size_t last)
{
    InputInfo& in = m_Inputs[i];
    if (in.holdFirst == first && in.holdLast == last)
        return;
    if (in.fixed)
        UpdateRecordHits(i, false);
    in.holdFirst = first;
    in.holdLast = last;
    if (in.fixed)
        UpdateRecordHits(i, true);
}

void CInputConfigModel::HoldAll(std::size_t i)
{
    if (i < m_Inputs.size() && !m_Inputs[i].values.empty())
        SetHold(i, 0, m_Inputs[i].values.size() - 1);
}

bool CInputConfigModel::HoldRange(std::size_t i, double low, double high)
{
    if (i >= m_Inputs.size() || !(low <= high))
        return false;
    const InputInfo::ValueMap& values = m_Inputs[i].values;
    const auto below = [](double v) { return [v](const auto& entry) { return entry.second.value < v; }; };
    const auto first = static_cast<std::size_t>(std::partition_point(values.begin(), values.end(), below(low)) - values.begin());
    const auto end = static_cast<std::size_t>(
        std::partition_point(values.begin(), values.end(), [high](const auto& e) { return !(e.second.value > high); }) -
        values.begin());
    if (first >= end)
        return false;
    SetHold(i, first, end - 1);
    return true;
}

void CInputConfigModel::HoldOne(std::size_t i)
{
    if (i < m_Inputs.size())
        SetHold(i, InputInfo::npos, InputInfo::npos);
}

bool CInputConfigModel::GetFixedInput(unsigned i, std::uint32_t& nInput, std::uint64_t& nValue) const
{
    const int index = GetInputIndex(static_cast<int>(i));
    if (index < 0 || i > static_cast<unsigned>(INT32_MAX))
        return false;
    const InputInfo& in = m_Inputs[static_cast<std::size_t>(index)];
    if (!in.HasCurrent())
        return false;
    nInput = static_cast<std::uint32_t>(index);
    nValue = in.values[in.current].first;
    return true;
}

int CInputConfigModel::GetInputIndex(int nRow) const
{
    if (nRow < 0)
        return -1;
    int row = 0;
    for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
        if (i == m_nInputX || i == m_nInputY)
            continue;
        if (row++ == nRow)
            return static_cast<int>(i);
    }
    return -1;
}

void CRecordHits::Fit(std::size_t n, std::size_t nInputs)
{
    const bool bNarrow = nInputs < 256 && (m_nSize == 0 || m_Narrow.size() != 0);
    if (n <= m_nSize && bNarrow == (m_Narrow.size() != 0))
        return;
    n = std::max(n, m_nSize);
    if (bNarrow) {
        vantix::CZeroedArray<std::uint8_t> wider(n);
        std::copy_n(m_Narrow.data(), m_nSize, wider.data());
        m_Narrow = std::move(wider);
    } else {
        vantix::CZeroedArray<std::uint32_t> wider(n);
        for (std::size_t r = 0; r < m_nSize; ++r)
            wider[r] = Get(r);
        m_Narrow = {};
        m_Wide = std::move(wider);
    }
    m_nSize = n;
}

std::uint32_t CInputConfigModel::GetRecordHits(std::uint32_t nRecord) const
{
    return m_RecordHits.Get(nRecord);
}

void CInputConfigModel::EnsureRecords(std::size_t i) const
{
    if (i >= m_Inputs.size())
        return;
    if (const auto placement = std::exchange(m_Inputs[i].placement, nullptr))
        placement->Finish();
}

void CInputConfigModel::CountScan(std::size_t i) const
{
    CRecordPlacement* placement = m_Inputs[i].placement.get();
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

bool CInputConfigModel::IsReachable(std::size_t i, std::size_t pos) const
{
    const InputInfo& in = m_Inputs[i];
    if (pos >= in.values.size())
        return false;
    if (m_nMaxHits == 0)
        return true;
    if (m_pServer)
        return m_pServer->IsReachable(m_Inputs, i, pos);
    if (CRecordPlacement* placement = in.placement.get()) {
        if (placement->reachableFor != m_nPinState) {
            placement->reachable.assign(placement->stride, 0);
            const std::uint32_t* const keys = placement->keys;
            std::uint8_t* const reachable = placement->reachable.data();
            // Records beyond the counts have none, and m_nMaxHits is above zero.
            const std::size_t n = std::min<std::size_t>(placement->nRecords, m_RecordHits.size());
            const std::uint32_t hits = m_nMaxHits;
            m_RecordHits.WithCounts([&](const auto* counts) {
                for (std::size_t r = 0; r < n; ++r)
                    if (counts[r] == hits)
                        reachable[keys[r]] = 1;
            });
            placement->reachableFor = m_nPinState;
        }
        return placement->reachable[static_cast<std::size_t>(in.values[pos].first)] != 0;
    }
    bool bReachable = false;
    ForEachRecord(in, pos, [&](std::uint32_t r) { return !(bReachable = GetRecordHits(r) == m_nMaxHits); });
    return bReachable;
}

void CInputConfigModel::UpdateRecordHits(std::size_t i, bool bAdd)
{
    if (m_pServer) {
        ++m_nPinState;
        m_nMaxHits = m_pServer->PinsChanged(m_Inputs);
        return;
    }
    if (!bAdd)
        m_nMaxHits = 0;
    ++m_nPinState;
    const InputInfo& in = m_Inputs[i];
    if (!in.HasCurrent() && !in.IsHeldOverRange())
        return;
    // An input held over a range votes for every record inside it.
    const auto [firstPos, lastPos] = in.HeldPositions();
    if (bAdd)
        m_RecordHits.Fit(m_nRecords, m_Inputs.size());
    CountScan(i);
    if (const CRecordPlacement* placement = in.placement.get()) {
        // The scan of ForEachRecord, on the counts in their own width.
        if (bAdd)
            m_RecordHits.Fit(placement->nRecords, m_Inputs.size());
        const auto key = static_cast<std::uint32_t>(in.values[firstPos].first);
        const auto span = static_cast<std::uint32_t>(in.values[lastPos].first - key);
        const std::uint32_t* const keys = placement->keys;
        const std::size_t n = std::min<std::size_t>(placement->nRecords, m_RecordHits.size());
        std::uint32_t maxHits = m_nMaxHits;
        m_RecordHits.WithCounts([&](auto* counts) {
            for (std::size_t r = 0; r < n; ++r) {
                if (keys[r] - key > span)
                    continue;
                auto& count = counts[r];
                if (bAdd)
                    ++count;
                else if (count > 0)
                    --count;
                maxHits = std::max<std::uint32_t>(maxHits, count);
            }
        });
        m_nMaxHits = maxHits;
        return;
    }
    for (std::size_t pos = firstPos; pos <= lastPos; ++pos)
        ForEachRecord(in, pos, [&](std::uint32_t r) {
            if (r >= m_RecordHits.size()) {
                if (!bAdd)
                    return true;
                m_RecordHits.Fit(static_cast<std::size_t>(r) + 1, m_Inputs.size());
            }
            m_nMaxHits = std::max(m_nMaxHits, m_RecordHits.Adjust(r, bAdd));
            return true;
        });
}

void CInputConfigModel::StepUp(std::size_t i, unsigned n)
{
    InputInfo& in = m_Inputs[i];
    if (!in.HasCurrent())
        return;
    std::uint16_t count = static_cast<std::uint16_t>(n);
    if (count == 0)
        count = 1;
    for (std::size_t p = in.current + 1; p < in.values.size(); ++p) {
        if (IsReachable(i, p)) {
            in.current = p;
            if (--count == 0)
                break;
        }
    }
}

void CInputConfigModel::StepDown(std::size_t i, unsigned n)
{
    InputInfo& in = m_Inputs[i];
    if (!in.HasCurrent())
        return;
    std::uint16_t count = static_cast<std::uint16_t>(n);
    if (count == 0)
        count = 1;
    for (std::size_t p = in.current; p-- > 0;) {
        if (IsReachable(i, p)) {
            in.current = p;
            if (--count == 0)
                break;
        }
    }
}

std::size_t CInputConfigModel::FindReachableUp(std::size_t i, std::size_t start) const
{
    for (std::size_t p = start + 1; p < m_Inputs[i].values.size(); ++p)
        if (IsReachable(i, p))
            return p;
    return start;
}

std::size_t CInputConfigModel::FindReachableDown(std::size_t i, std::size_t start) const
{
    for (std::size_t p = std::min(start, m_Inputs[i].values.size()); p-- > 0;)
        if (IsReachable(i, p))
            return p;
    return start;
}

void CInputConfigModel::SelectRecord(std::uint32_t nRecord, bool bRemember)
{
    if (!m_spSource)
        return;
    if (bRemember)
        m_nPrevRecord = m_nCurRecord;
    m_nCurRecord = nRecord;
    for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
        std::uint64_t key = 0;
        if (m_pServer ? !m_pServer->Key(nRecord, i, &key)
                      : FAILED(m_spSourceEx->GetInputValueIndex(nRecord, static_cast<ULONG>(i), &key)))
            continue;
        const std::size_t pos = m_Inputs[i].Find(key);
        if (pos != InputInfo::npos)
            m_Inputs[i].current = pos;
    }
}

void CInputConfigModel::FollowValue(std::size_t i)
{
    const InputInfo& in = m_Inputs[i];
    if (!in.HasCurrent())
        return;
    std::optional<std::uint32_t> first;
    if (m_pServer) {
        first = m_pServer->MatchingRecord(m_Inputs, i);
    } else {
        CountScan(i);
        ForEachRecord(in, in.current, [&](std::uint32_t r) {
            if (GetRecordHits(r) < m_nMaxHits)
                return true;
            first = r;
            return false;
        });
    }
    if (!first)
        return;
    if (m_nLastChanged == static_cast<int>(i)) {
        SelectRecord(*first, false);
    } else {
        m_nLastChanged = static_cast<int>(i);
        SelectRecord(*first, true);
    }
}

bool CInputConfigModel::ChangeValue(int i, int code, double* pValue)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Inputs.size())
        return false;
    const auto n = static_cast<std::size_t>(i);
    InputInfo& in = m_Inputs[n];
    const std::size_t count = in.values.size();
    // A step or a typed number holds a ranged input at one value again.
    const bool bKnownCode = code == SB_LINEUP || code == SB_LINEDOWN || code == SB_PAGEUP || code == SB_PAGEDOWN ||
                            code == SB_TOP || code == SB_BOTTOM || code == kTypedNumber;
    if (bKnownCode && in.IsHeldOverRange())
        HoldOne(n);
    const auto value = [&in](std::size_t pos) { return in.values[pos].second.value; };
    switch (code) {
    case SB_LINEUP:
        StepUp(n, 1);
        break;
    case SB_LINEDOWN:
        StepDown(n, 1);
        break;
    case SB_PAGEUP:
        StepUp(n, static_cast<unsigned>(count / 20));
        break;
    case SB_PAGEDOWN:
        StepDown(n, static_cast<unsigned>(count / 20));
        break;
    case SB_TOP: {
        if (count == 0)
            break;
        std::size_t candidate = in.Find(count - 1);
        if (candidate == InputInfo::npos)
            candidate = count - 1;
        in.current = IsReachable(n, candidate) ? candidate : FindReachableDown(n, candidate);
        break;
    }
    case SB_BOTTOM:
        if (count == 0)
            break;
        in.current = IsReachable(n, 0) ? 0 : FindReachableUp(n, 0);
        break;
    case kTypedNumber: {
        if (count == 0 || !pValue)
            break;
        const double t = *pValue;
        std::size_t nearest;
        if (!(t < value(count - 1))) {
            nearest = count - 1;
        } else if (!(t > value(0))) {
            nearest = 0;
        } else {
            // The first value not below t, or the one just below when it is
            // strictly closer (a tie takes the higher value).
            const auto it = std::partition_point(in.values.begin(), in.values.end(),
                                                 [t](const auto& entry) { return entry.second.value < t; });
            const std::size_t v = std::min(static_cast<std::size_t>(it - in.values.begin()), count - 1);
            nearest = v > 0 && t - value(v - 1) < value(v) - t ? v - 1 : v;
        }
        if (IsReachable(n, nearest)) {
            in.current = nearest;
        } else {
            // The closer of the reachable neighbours (a tie goes down). A side
            // without a reachable value answers the start itself, which must
            // not win over a reachable value on the other side.
            const std::size_t up = FindReachableUp(n, nearest);
            const std::size_t down = FindReachableDown(n, nearest);
            if (up == nearest)
                in.current = down;
            else if (down == nearest)
                in.current = up;
            else
                in.current = t - value(down) <= value(up) - t ? down : up;
        }
        break;
    }
    default:
        return false;
    }
    FollowValue(n);
    if (pValue)
        *pValue = in.HasCurrent() ? value(in.current) : 0.0;
    SelectRecord(m_nCurRecord, false);
    return true;
}

void CInputConfigModel::SetFixed(int i, bool bFixed)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Inputs.size())
        return;
    m_Inputs[static_cast<std::size_t>(i)].fixed = bFixed ? 1 : 0;
    UpdateRecordHits(static_cast<std::size_t>(i), bFixed);
}

bool CInputConfigModel::CancelChange()
{
    m_nLastChanged = -1;
    if (m_nPrevRecord == m_nCurRecord)
        return false;
    m_nCurRecord = m_nPrevRecord;
    SelectRecord(m_nCurRecord, false);
    return true;
}

bool CInputConfigModel::SetAxisInput(bool bX, const std::wstring& name)
{
    const auto it =
        std::find_if(m_Inputs.begin(), m_Inputs.end(), [&name](const InputInfo& in) { return in.name == name; });
    if (it == m_Inputs.end())
        return false;
    const auto index = static_cast<unsigned>(it - m_Inputs.begin());
    unsigned& axis = bX ? m_nInputX : m_nInputY;
    unsigned& other = bX ? m_nInputY : m_nInputX;
    axis = index;
    if (axis == other)
        other = other == 0 ? 1 : other - 1;
    return true;
}

void CInputConfigModel::ReleaseAxisInputs()
{
    for (unsigned axis : {m_nInputX, m_nInputY}) {
        if (axis < m_Inputs.size() && m_Inputs[axis].fixed) {
            m_Inputs[axis].fixed = 0;
            UpdateRecordHits(axis, false);
        }
    }
}
