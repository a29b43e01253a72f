#pragma once
// Every input of a source with its distinct values and the records in which
// each value occurs: a counting sort of the records by value, placed lazily.
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The records of all values of one input in one block, value after value;
// shared by the copies of the input and never changed once built.
class CRecordPool {
public:
    explicit CRecordPool(std::size_t n);
    ~CRecordPool();
    CRecordPool(const CRecordPool&) = delete;
    CRecordPool& operator=(const CRecordPool&) = delete;

    std::uint32_t* Data() { return m_pData; }
    std::size_t Size() const { return m_nSize; }

private:
    std::uint32_t* m_pData = nullptr;
    std::size_t m_nSize = 0;
};

struct CRecordPlacement;

struct ValueInfo {
    // Records in which the input has this value, ascending (a range of the
    // input's record pool, filled once CRecordIndex::EnsureRecords ran for it).
    std::span<const std::uint32_t> records;
    // The input's value for this key.
    double value = 0.0;
};

struct InputInfo {
    // Value key (the provider's value index) → value, ascending by key.
    using ValueMap = std::vector<std::pair<std::uint64_t, ValueInfo>>;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Signal name + ":" + input name.
    std::wstring name;
    ValueMap values;
    // Position in values of the chosen value; npos: none.
    std::size_t current = npos;
    // Pinned by the "Fix" box (0 or 1).
    std::uint32_t fixed = 0;
    // Held over the values at holdFirst .. holdLast (a range; "All" when that
    // is every value) instead of at current; npos: at current.
    std::size_t holdFirst = npos;
    std::size_t holdLast = npos;
    // A labelled (categorical) input's label of every value, by position in
    // values; empty for a numeric input.
    std::vector<std::wstring> labels;
    // Position of the "(none)" value (records without the input; always the
    // last, its value +infinity so that no typed number or range reaches
    // it); npos when every record has the input.
    std::size_t nonePos = npos;
    // Storage of the values' record ranges.
    std::shared_ptr<const CRecordPool> pool;

    bool HasCurrent() const { return current < values.size(); }
    bool IsHeldOverRange() const { return holdFirst < values.size() && holdLast < values.size(); }
    bool IsHeldAtAll() const { return IsHeldOverRange() && holdFirst == 0 && holdLast + 1 == values.size(); }
    // The positions in values the input is held at: its range, else current.
    std::pair<std::size_t, std::size_t> HeldPositions() const
    {
        return IsHeldOverRange() ? std::pair{holdFirst, holdLast} : std::pair{current, current};
    }
    // Position of a key in values; npos when absent.
    std::size_t Find(std::uint64_t key) const;
    // Whether typed text names values (a labelled input or one with "(none)").
    bool HasLabels() const { return !labels.empty() || nonePos != npos; }
    // The label of the value at pos: a category or "(none)"; empty for a number.
    std::wstring Label(std::size_t pos) const;
    // The value text names, ignoring case: the label it is, else the only
    // label it begins ("none" also names "(none)"); npos when none or several.
    std::size_t FindLabel(const std::wstring& text) const;
};

// An input's key column while its records are not placed yet: the value key
// of every record, each below nKeys.
struct UnplacedKeys {
    const std::uint32_t* keys = nullptr;
    std::uint32_t nRecords = 0;
    std::size_t nKeys = 0;
};

// The slice's conditions: visit(i, first, last) for every input but X and Y
// not held at "All", with the positions it is held at; false (and visiting
// stops) at an input held at nothing, whose slice is empty.
template <class Visit>
bool ForEachSliceHold(const std::vector<InputInfo>& inputs, std::size_t x, std::size_t y, Visit visit)
{
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const InputInfo& in = inputs[i];
        if (i == x || i == y || in.IsHeldAtAll())
            continue;
        if (!in.HasCurrent() && !in.IsHeldOverRange())
            return false;
        const auto [first, last] = in.HeldPositions();
        visit(i, first, last);
    }
    return true;
}

class CRecordIndex {
public:
    CRecordIndex();
    ~CRecordIndex();
    CRecordIndex(const CRecordIndex&) = delete;
    CRecordIndex& operator=(const CRecordIndex&) = delete;

    // Forgets the inputs and reads from pSource from now on.
    void Reset(IQX_VantixDataProvider::IOptimizationResultsDataSource* pSource);
    // One input per source input, named; E_FAIL (no inputs) when a name cannot be read.
    HRESULT FillInputNames(ULONG nInputs);
    // The values and records of every input, with their labels.
    HRESULT CollectValues(ULONG nInputs, ULONG nRecords);
    // The values of every input from another answerer (a study that stays on
    // its server), without records: fill(inputs).
    template <class Fill>
    HRESULT FillValues(Fill fill)
    {
        return fill(m_Inputs);
    }
    // Drops the inputs without values; the others start at their first value.
    void DropEmptyInputs();
    void Clear();

    std::uint32_t RecordCount() const { return m_nRecords; }
    void SetRecordCount(std::uint32_t n) { m_nRecords = n; }
    const std::vector<InputInfo>& Inputs() const { return m_Inputs; }
    // The inputs' choice state (current, fixed, hold) is the model's to change.
    InputInfo& Input(std::size_t i) { return m_Inputs[i]; }
    const InputInfo& Input(std::size_t i) const { return m_Inputs[i]; }

    // The value index of input i in record r (~0 when the source fails);
    // inline, for the scans over every record.
    std::uint64_t KeyOf(std::size_t i, std::uint32_t r) const
    {
        if (i < m_KeyColumns.size() && m_KeyColumns[i])
            return m_KeyColumns[i][r];
        std::uint64_t key = 0;
        return SourceKey(r, i, key) ? key : ~std::uint64_t{0};
    }
    // The value index of input i in record r as the source answers it.
    bool SourceKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const;

    // The record placement is a cache: the records of input i's values, while
    // not yet placed, are read from its key column; placing them changes how
    // they are found, never which they are. The const methods below fill it.
    //
    // Places the records of input i now.
    void EnsureRecords(std::size_t i) const;
    // Before a scan of input i's key column: places its records instead once
    // it has been scanned a few times (on a thread of its own when one can be had).
    void CountScan(std::size_t i) const;
    // True and *pKeys set while input i's records are not placed.
    bool Unplaced(std::size_t i, UnplacedKeys* pKeys) const;
    bool IsPlaced(std::size_t i) const { return i >= m_Placements.size() || !m_Placements[i]; }
    // Inputs whose records went to be placed on a thread of their own.
    std::size_t RecordsPlacedAside() const { return m_nPlacedAside; }

    // Calls visit(r) for the records in which input i has the value at pos,
    // ascending, until visit returns false: from the value's record range once
    // the records are placed, else by a scan of the key column (cheaper than
    // placing them, for a pass or two).
    template <class Visit>
    void ForEachRecord(std::size_t i, std::size_t pos, Visit visit) const
    {
        const InputInfo& in = m_Inputs[i];
        if (UnplacedKeys column; i < m_Placements.size() && m_Placements[i] && Unplaced(i, &column)) {
            const auto key = static_cast<std::uint32_t>(in.values[pos].first);
            for (std::uint32_t r = 0; r < column.nRecords; ++r)
                if (column.keys[r] == key && !visit(r))
                    return;
            return;
        }
        for (const std::uint32_t r : in.values[pos].second.records)
            if (!visit(r))
                return;
    }

private:
    // From the source's columns when it offers them; false (nothing changed)
    // when it does not or they do not fit the record count.
    bool CollectValueColumns(ULONG nInputs, ULONG nRecords);
    // Record by record through the per-value getters.
    HRESULT CollectValueRecords(ULONG nInputs, ULONG nRecords);
    // Labels and "(none)" values from the source's meaning, where it offers one.
    void CollectLabels();

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSource> m_spSource;
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSourceEx> m_spSourceEx;
    std::vector<InputInfo> m_Inputs;
    // Per input, its value-index column when the source offers columns (kept
    // alive by m_spKeyColumns); else empty.
    std::vector<const std::uint32_t*> m_KeyColumns;
    ComPtr<IUnknown> m_spKeyColumns;
    std::uint32_t m_nRecords = 0;
    // The placement cache: per input, set while its records are not placed.
    mutable std::vector<std::shared_ptr<CRecordPlacement>> m_Placements;
    mutable std::size_t m_nPlacedAside = 0;
};
