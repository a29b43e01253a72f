#pragma once
// The data behind the "Data Representation" dialog: the inputs chosen for X, Y
// and the function, what every other input is held at, and the record whose
// values are shown. The inputs' values and records live in a record index,
// which values the pins leave reachable in a reachability, and stepping in a
// navigator; this class ties them together under the names the dialog and
// the chart use.
#include "InputNavigator.h"
#include "Reachability.h"
#include "RecordIndex.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"

#include <cstdint>
#include <string>
#include <vector>

class IDataTransfer;
struct FixedInput;

class CServerChoice;
class CServerReachability;

class CInputConfigModel {
public:
    CInputConfigModel();
    virtual ~CInputConfigModel();
    CInputConfigModel(const CInputConfigModel&) = delete;
    CInputConfigModel& operator=(const CInputConfigModel&) = delete;

    // Reads the source; S_OK: ready to be shown; S_FALSE: the previous chart's
    // axes or function are not in this source.
    HRESULT Initialize(IQX_VantixDataProvider::IOptimizationResultsDataSource* pSource, IDataTransfer* pPrevious);

    std::size_t GetInputCount() const { return m_Index.Inputs().size(); }
    const std::vector<InputInfo>& Inputs() const { return m_Index.Inputs(); }
    const InputInfo& Input(std::size_t i) const { return m_Index.Input(i); }
    const std::vector<std::wstring>& FunctionNames() const { return m_FuncNames; }
    // The inputs on X and Y and the function shown (read by the chart on OK).
    unsigned InputX() const { return m_nInputX; }
    unsigned InputY() const { return m_nInputY; }
    unsigned Function() const { return m_nFunction; }
    void SetFunction(unsigned nFunction) { m_nFunction = nFunction; }
    // The axes and function were taken from the previous chart and stay.
    bool IsLocked() const { return m_bLocked; }

    // The i-th input that is neither X nor Y and the key of its current value.
    bool GetFixedInput(unsigned i, std::uint32_t& nInput, std::uint64_t& nValue) const;
    // The i-th input that is neither X nor Y as the transformer holds it: its
    // current value, or the value indices of its range.
    bool GetHeldInput(unsigned i, FixedInput& held) const;
    // Records of the slice the choice shows now: those in which every input
    // but X and Y has a value it is held at. Fills the record placement cache.
    std::uint64_t CountSliceRecords() const;
    std::uint64_t GetRecordCount() const { return m_Index.RecordCount(); }
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

    // --- navigation (input i is an index into Inputs())
    // Places the records of input i's values now (CRecordIndex::EnsureRecords).
    void EnsureRecords(std::size_t i) const { m_Index.EnsureRecords(i); }
    bool AreRecordsPlaced(std::size_t i) const { return m_Index.IsPlaced(i); }
    std::size_t RecordsPlacedAside() const { return m_Index.RecordsPlacedAside(); }
    const IReachability& Reachability() const { return Reach(); }
    bool IsReachable(std::size_t i, std::size_t pos) const { return Reach().IsReachable(i, pos); }
    std::uint32_t GetRecordHits(std::uint32_t nRecord) const { return m_Reach.RecordHits(nRecord); }
    std::uint32_t GetMaxHits() const { return m_Reach.MaxHits(); }
    void UpdateRecordHits(std::size_t i, bool bAdd) { Reach().Vote(i, bAdd); }
    void StepUp(std::size_t i, unsigned n) { m_Nav.StepUp(i, n); }
    void StepDown(std::size_t i, unsigned n) { m_Nav.StepDown(i, n); }
    std::size_t FindReachableUp(std::size_t i, std::size_t start) const { return m_Nav.FindReachableUp(i, start); }
    std::size_t FindReachableDown(std::size_t i, std::size_t start) const { return m_Nav.FindReachableDown(i, start); }
    void SelectRecord(std::uint32_t nRecord, bool bRemember)
    {
        if (m_spSource)
            m_Nav.SelectRecord(nRecord, bRemember);
    }
    void FollowValue(std::size_t i) { m_Nav.FollowValue(i); }
    std::uint32_t CurrentRecord() const { return m_Nav.CurrentRecord(); }
    std::uint32_t PreviousRecord() const { return m_Nav.PreviousRecord(); }
    int LastChanged() const { return m_Nav.LastChanged(); }

    // Code of a typed number (the other codes are scroll codes).
    static constexpr int kTypedNumber = CInputNavigator::kTypedNumber;
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
    bool CancelChange() { return m_Nav.CancelChange(); }
    // A new X (bX) or Y input chosen by its full name; the other axis moves
    // away when it collides. False when no input has that name.
    bool SetAxisInput(bool bX, const std::wstring& name);
    // The axis inputs lose their "Fix" state.
    void ReleaseAxisInputs();

protected:
    HRESULT GetDataLength(ULONG& nInputs, ULONG& nFunctions, ULONG& nRecords);
    HRESULT FillFuncNames(const ULONG nFunctions);
    HRESULT ValidateInputs();
    void SetHold(std::size_t i, std::size_t first, std::size_t last);
    // The dialog's controls follow the model (when they exist).
    virtual void RefreshControls(bool bRefill) {}

private:
    IReachability& Reach();
    const IReachability& Reach() const;

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSource> m_spSource;
    CRecordIndex m_Index;
    CInMemoryReachability m_Reach;
    CInputNavigator m_Nav;
    // Set for a study that stays on its server: the questions about records
    // go there (ServerChoice.h).
    std::shared_ptr<CServerChoice> m_pServer;
    std::unique_ptr<CServerReachability> m_pServerReach;
    std::vector<std::wstring> m_FuncNames;
    unsigned m_nInputX = 0;
    unsigned m_nInputY = 1;
    unsigned m_nFunction = 0;
    bool m_bLocked = false;
};
