#pragma once
// The data behind the "Data Representation" dialog: every input with its
// distinct values and the records in which each value occurs, the record whose
// values are shown, and the navigation that only ever visits combinations of
// fixed values that occur in some record.
#include "HugePageAllocator.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

class IDataTransfer;
struct FixedInput;
class CServerChoice;

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

// Per record, a count of at most the number of inputs, on zeroed pages (0 =
// no entry): a byte a record while there are fewer than 256 inputs, else four
// (a first pin touches that much fresh memory).
class CRecordHits {
public:
    std::size_t size() const { return m_nSize; }
    std::uint32_t Get(std::size_t r) const
    {
        return r >= m_nSize ? 0 : (m_Narrow.size() ? m_Narrow[r] : m_Wide[r]);
    }
    // Room for records below n and counts up to nInputs; the counts are kept.
    void Fit(std::size_t n, std::size_t nInputs);
    // One vote more or less for record r (below size()); the count after.
    std::uint32_t Adjust(std::size_t r, bool bAdd)
    {
        return m_Narrow.size() ? Step(m_Narrow[r], bAdd) : Step(m_Wide[r], bAdd);
    }
    // f(counts), the counts of records below size() in their stored width,
    // for scans over every record.
    template <class F>
    decltype(auto) WithCounts(F f) const
    {
        return m_Narrow.size() ? f(static_cast<const std::uint8_t*>(m_Narrow.data()))
                               : f(static_cast<const std::uint32_t*>(m_Wide.data()));
    }
    template <class F>
    decltype(auto) WithCounts(F f)
    {
        return m_Narrow.size() ? f(m_Narrow.data()) : f(m_Wide.data());
    }

private:
    template <class T>
    static std::uint32_t Step(T& count, bool bAdd)
    {
        if (bAdd)
            ++count;
        else if (count > 0)
            --count;
        return count;
    }
    vantix::CZeroedArray<std::uint8_t> m_Narrow;
    vantix::CZeroedArray<std::uint32_t> m_Wide;
    std::size_t m_nSize = 0;
};

struct ValueInfo {
    // Records in which the input has this value, ascending (a range of the
    // input's record pool, filled once the model's EnsureRecords ran for it).
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
    // Set while the records are not yet in the pool (CInputConfigModel::EnsureRecords).
    mutable std::shared_ptr<CRecordPlacement> placement;

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

class CInputConfigModel {
public:
    CInputConfigModel() = default;
    virtual ~CInputConfigModel() = default;
    CInputConfigModel(const CInputConfigModel&) = delete;
    CInputConfigModel& operator=(const CInputConfigModel&) = delete;

    // Reads the source; S_OK: ready to be shown; S_FALSE: the previous chart's
    // axes or function are not in this source.
    HRESULT Initialize(IQX_VantixDataProvider::IOptimizationResultsDataSource* pSource, IDataTransfer* pPrevious);

    std::size_t GetInputCount() const { return m_Inputs.size(); }
    // The i-th input that is neither X nor Y and the key of its current value.
    bool GetFixedInput(unsigned i, std::uint32_t& nInput, std::uint64_t& nValue) const;
    // The i-th input that is neither X nor Y as the transformer holds it: its
    // current value, or the value indices of its range.
    bool GetHeldInput(unsigned i, FixedInput& held) const;
    // Records of the slice the choice shows now: those in which every input
    // but X and Y has a value it is held at.
    std::uint64_t CountSliceRecords() const;
    std::uint64_t GetRecordCount() const { return m_nRecords; }
    // Whether the source's study stays on its server, which answers for the records.
    bool AsksServer() const { return m_pServer != nullptr; }
    // Input i held at every value, over the values within [low, high] (false,
    // nothing changed, when none is), or back at its current value. A pinned
    // input's vote follows its hold.
    void HoldAll(std::size_t i);
    bool HoldRange(std::size_t i, double low, double high);
    void HoldOne(std::size_t i);
    // Row of the fixed-inputs list → input; -1 when none.
    int GetInputIndex(int nRow) const;

    // --- navigation (input i is an index into m_Inputs)
    // Fills the records of input i's values. From a source's columns they are
    // placed only on demand: the model itself scans the key columns instead.
    void EnsureRecords(std::size_t i) const;
    // Inputs whose records went to be placed on a thread of their own.
    std::size_t RecordsPlacedAside() const { return m_nPlacedAside; }
    // A value is reachable when nothing is pinned, or when one of its records
    // carries the vote of every pinned input.
    bool IsReachable(std::size_t i, std::size_t pos) const;
    void StepUp(std::size_t i, unsigned n);
    void StepDown(std::size_t i, unsigned n);
    std::size_t FindReachableUp(std::size_t i, std::size_t start) const;
    std::size_t FindReachableDown(std::size_t i, std::size_t start) const;
    void SelectRecord(std::uint32_t nRecord, bool bRemember);
    void FollowValue(std::size_t i);
    void UpdateRecordHits(std::size_t i, bool bAdd);
    std::uint32_t GetRecordHits(std::uint32_t nRecord) const;

    // Code of a typed number (the other codes are scroll codes).
    static constexpr int kTypedNumber = -1;
    // The value editor's step (scroll code) or typed number (code -1) on
    // input i; false for an unknown code. *pValue: in the typed number, out
    // the value now current.
    bool ChangeValue(int i, int code, double* pValue);
    // Typed text naming a label of input i (InputInfo::FindLabel): that value,
    // or the nearest reachable one, becomes current; false when the text names
    // no label.
    bool ChangeToLabel(int i, const std::wstring& text);
    // The "Fix" box of input i.
    void SetFixed(int i, bool bFixed);
    // Back to the record shown before the current series of changes; true
    // when the record changed.
    bool CancelChange();
    // A new X (bX) or Y input chosen by its full name; the other axis moves
    // away when it collides. False when no input has that name.
    bool SetAxisInput(bool bX, const std::wstring& name);
    // The axis inputs lose their "Fix" state.
    void ReleaseAxisInputs();

    // Read back by the chart document on OK.
    unsigned m_nInputX = 0;
    unsigned m_nInputY = 1;
    unsigned m_nFunction = 0;

    std::vector<InputInfo> m_Inputs;
    std::vector<std::wstring> m_FuncNames;
    bool m_bLocked = false;
    std::uint32_t m_nMaxHits = 0;
    std::uint32_t m_nCurRecord = 0;
    std::uint32_t m_nPrevRecord = 0;
    int m_nLastChanged = -1;

protected:
    HRESULT GetDataLength(ULONG& nInputs, ULONG& nFunctions, ULONG& nRecords);
    HRESULT FillFuncNames(const ULONG nFunctions);
    HRESULT FillInputNames(const ULONG nInputs);
    HRESULT CollectValues(ULONG nInputs, ULONG nRecords);
    // From the source's columns when it offers them; false (nothing changed)
    // when it does not or they do not fit the record count.
    bool CollectValueColumns(ULONG nInputs, ULONG nRecords);
    // Record by record through the per-value getters.
    HRESULT CollectValueRecords(ULONG nInputs, ULONG nRecords);
    // Labels and "(none)" values from the source's meaning, where it offers one.
    void CollectLabels();
    HRESULT ValidateInputs();
    // Before a scan of input i's key column: places its records instead once
    // it has been scanned a few times.
    void CountScan(std::size_t i) const;
    void SetHold(std::size_t i, std::size_t first, std::size_t last);
    // The value index of input i in record r.
    std::uint64_t KeyOf(std::size_t i, std::uint32_t r) const;
    // The dialog's controls follow the model (when they exist).
    virtual void RefreshControls(bool bRefill) {}

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSource> m_spSource;
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSourceEx> m_spSourceEx;
    // Per record: the number of pinned inputs whose current value occurs in it
    // (allocated with the first pin).
    CRecordHits m_RecordHits;
    // Per input, its value-index column when the source offers columns (kept
    // alive by m_spKeyColumns); else empty.
    std::vector<const std::uint32_t*> m_KeyColumns;
    ComPtr<IUnknown> m_spKeyColumns;
    // Counts the changes of m_RecordHits (what reachability was found for).
    std::uint64_t m_nPinState = 1;
    ULONG m_nRecords = 0;
    mutable std::size_t m_nPlacedAside = 0;
    // Set for a study that stays on its server: the questions about records
    // go there (ServerChoice.h).
    std::shared_ptr<CServerChoice> m_pServer;
};
