#include "InputConfigModel.h"

#include "IDataTransfer.h"
#include "ServerChoice.h"
#include "diagnostics/snagwise.h"

#include <algorithm>
#include <limits>

using namespace IQX_VantixDataProvider;

CInputConfigModel::CInputConfigModel() : m_Reach(m_Index), m_Nav(m_Index, m_Reach)
{
}

CInputConfigModel::~CInputConfigModel() = default;

IReachability& CInputConfigModel::Reach()
{
    if (m_pServerReach)
        return *m_pServerReach;
    return m_Reach;
}

const IReachability& CInputConfigModel::Reach() const
{
    if (m_pServerReach)
        return *m_pServerReach;
    return m_Reach;
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

HRESULT CInputConfigModel::ValidateInputs()
{
    m_Index.DropEmptyInputs();
    return m_Index.Inputs().size() < 2 || m_FuncNames.empty() ? E_INVALIDARG : S_OK;
}

HRESULT CInputConfigModel::Initialize(IOptimizationResultsDataSource* pSource, IDataTransfer* pPrevious)
{
    if (pSource && pSource != m_spSource.Get())
        m_spSource = pSource;
    if (!m_spSource)
        return E_NOINTERFACE;
    m_Index.Reset(m_spSource.Get());
    m_Reach.Reindexed();
    m_FuncNames.clear();
    m_pServer = CServerChoice::Offered(m_spSource.Get());
    m_pServerReach = m_pServer ? std::make_unique<CServerReachability>(m_pServer, m_Index) : nullptr;
    m_Nav.SetReachability(Reach());

    ULONG nInputs = 0, nFunctions = 0, nRecords = 0;
    const HRESULT hr = GetDataLength(nInputs, nFunctions, nRecords);
    if (FAILED(hr))
        return hr;
    m_Index.SetRecordCount(m_pServer ? static_cast<ULONG>(std::min<std::uint64_t>(
                                           m_pServer->TrialCount(), std::numeric_limits<ULONG>::max()))
                                     : nRecords);
    HRESULT res = FillFuncNames(nFunctions);
    if (SUCCEEDED(res))
        res = m_Index.FillInputNames(nInputs);
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
        const std::vector<InputInfo>& inputs = m_Index.Inputs();
        const auto itX = std::find_if(inputs.begin(), inputs.end(), byName(x));
        const auto itY = std::find_if(inputs.begin(), inputs.end(), byName(y));
        const auto itF = std::find(m_FuncNames.begin(), m_FuncNames.end(), function);
        if (itX == inputs.end() || itY == inputs.end() || itF == m_FuncNames.end())
            return S_FALSE;
        m_nInputX = static_cast<unsigned>(itX - inputs.begin());
        m_nInputY = static_cast<unsigned>(itY - inputs.begin());
        m_nFunction = static_cast<unsigned>(itF - m_FuncNames.begin());
        m_bLocked = true;
    }

    res = m_pServer ? m_Index.FillValues([this](std::vector<InputInfo>& inputs) {
        return m_pServer->CollectValues(inputs);
    })
                    : m_Index.CollectValues(nInputs, nRecords);
    if (FAILED(res))
        return res;
    res = ValidateInputs();
    if (FAILED(res)) {
        SW_ASSERT(res >= S_OK);
        m_Index.Clear();
        m_FuncNames.clear();
        return res;
    }
    // Scattered designs rarely repeat a value: one held value would leave a
    // record or two, so their slices start over every value of every input.
    LONG lType = 0;
    if (SUCCEEDED(m_spSource->GetDataType(&lType)) && lType == 2)
        for (std::size_t i = 0; i < m_Index.Inputs().size(); ++i)
            HoldAll(i);
    RefreshControls(true);
    return S_OK;
}

bool CInputConfigModel::GetHeldInput(unsigned i, FixedInput& held) const
{
    const int index = GetInputIndex(static_cast<int>(i));
    if (index < 0 || i > static_cast<unsigned>(INT32_MAX))
        return false;
    const InputInfo& in = m_Index.Input(static_cast<std::size_t>(index));
    if (!in.HasCurrent() && !in.IsHeldOverRange())
        return false;
    const auto [first, last] = in.HeldPositions();
    held.nInput = static_cast<std::uint32_t>(index);
    held.nValue = in.values[first].first;
    held.nSpan = in.values[last].first - held.nValue;
    return true;
}

std::uint64_t CInputConfigModel::CountSliceRecords() const
{
    if (m_pServer)
        return m_pServer->CountSlice(m_Index.Inputs(), m_nInputX, m_nInputY);
    struct Held {
        std::size_t i;
        std::uint64_t first, span; // value indices
        std::size_t nRecords;
    };
    std::vector<Held> held;
    const std::vector<InputInfo>& inputs = m_Index.Inputs();
    const bool bAny = ForEachSliceHold(inputs, m_nInputX, m_nInputY, [&](std::size_t i, std::size_t first, std::size_t last) {
        const InputInfo& in = inputs[i];
        std::size_t nRecords = 0;
        for (std::size_t p = first; p <= last; ++p)
            nRecords += in.values[p].second.records.size();
        held.push_back({i, in.values[first].first, in.values[last].first - in.values[first].first, nRecords});
    });
    if (!bAny)
        return 0;
    if (held.empty())
        return m_Index.RecordCount();
    // The narrowest hold picks the candidates, the others confirm.
    std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.nRecords < b.nRecords; });
    const auto others = [&](std::uint32_t r) {
        for (std::size_t k = 1; k < held.size(); ++k)
            if (m_Index.KeyOf(held[k].i, r) - held[k].first > held[k].span)
                return false;
        return true;
    };
    std::uint64_t count = 0;
    const Held& driver = held.front();
    const InputInfo& in = inputs[driver.i];
    // Counted again at every change in the dialog: an input counted from often
    // gets its records placed, and then only its held values' records are read.
    m_Index.CountScan(driver.i);
    if (UnplacedKeys column; m_Index.Unplaced(driver.i, &column)) {
        // Records not placed yet: one pass over the key column.
        const std::uint32_t* const keys = column.keys;
        if (held.size() == 1) {
            for (std::uint32_t r = 0; r < column.nRecords; ++r)
                count += keys[r] - driver.first <= driver.span;
            return count;
        }
        for (std::uint32_t r = 0; r < column.nRecords; ++r)
            if (keys[r] - driver.first <= driver.span && others(r))
                ++count;
        return count;
    }
    // A single hold needs no confirming: its records are the slice.
    if (held.size() == 1)
        return driver.nRecords;
    const auto [first, last] = in.HeldPositions();
    for (std::size_t p = first; p <= last; ++p)
        for (const std::uint32_t r : in.values[p].second.records)
            count += others(r) ? 1 : 0;
    return count;
}

void CInputConfigModel::SetHold(std::size_t i, std::size_t first, std::size_t last)
{
    InputInfo& in = m_Index.Input(i);
    if (in.holdFirst == first && in.holdLast == last)
        return;
    if (in.fixed)
        Reach().Vote(i, false);
    in.holdFirst = first;
    in.holdLast = last;
    if (in.fixed)
        Reach().Vote(i, true);
}

void CInputConfigModel::HoldAll(std::size_t i)
{
    if (i < m_Index.Inputs().size() && !m_Index.Input(i).values.empty())
        SetHold(i, 0, m_Index.Input(i).values.size() - 1);
}

bool CInputConfigModel::HoldRange(std::size_t i, double low, double high)
{
    if (i >= m_Index.Inputs().size() || !(low <= high))
        return false;
    const InputInfo::ValueMap& values = m_Index.Input(i).values;
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
    if (i < m_Index.Inputs().size())
        SetHold(i, InputInfo::npos, InputInfo::npos);
}

bool CInputConfigModel::GetFixedInput(unsigned i, std::uint32_t& nInput, std::uint64_t& nValue) const
{
    const int index = GetInputIndex(static_cast<int>(i));
    if (index < 0 || i > static_cast<unsigned>(INT32_MAX))
        return false;
    const InputInfo& in = m_Index.Input(static_cast<std::size_t>(index));
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
    for (std::size_t i = 0; i < m_Index.Inputs().size(); ++i) {
        if (i == m_nInputX || i == m_nInputY)
            continue;
        if (row++ == nRow)
            return static_cast<int>(i);
    }
    return -1;
}

bool CInputConfigModel::ChangeValue(int i, int code, double* pValue)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Index.Inputs().size())
        return false;
    const auto n = static_cast<std::size_t>(i);
    // A step or a typed number holds a ranged input at one value again.
    if (CInputNavigator::IsStepCode(code) && m_Index.Input(n).IsHeldOverRange())
        HoldOne(n);
    if (!m_Nav.Step(n, code, pValue))
        return false;
    m_Nav.FollowValue(n);
    const InputInfo& in = m_Index.Input(n);
    if (pValue)
        *pValue = in.HasCurrent() ? in.values[in.current].second.value : 0.0;
    m_Nav.SelectRecord(m_Nav.CurrentRecord(), false);
    return true;
}

bool CInputConfigModel::ChangeToLabel(int i, const std::wstring& text)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Index.Inputs().size())
        return false;
    const auto n = static_cast<std::size_t>(i);
    const std::size_t pos = m_Index.Input(n).FindLabel(text);
    if (pos == InputInfo::npos)
        return false;
    if (m_Index.Input(n).IsHeldOverRange())
        HoldOne(n);
    m_Nav.MoveNear(n, pos);
    m_Nav.FollowValue(n);
    m_Nav.SelectRecord(m_Nav.CurrentRecord(), false);
    return true;
}

void CInputConfigModel::SetFixed(int i, bool bFixed)
{
    if (i < 0 || static_cast<std::size_t>(i) >= m_Index.Inputs().size())
        return;
    m_Index.Input(static_cast<std::size_t>(i)).fixed = bFixed ? 1 : 0;
    Reach().Vote(static_cast<std::size_t>(i), bFixed);
}

bool CInputConfigModel::SetAxisInput(bool bX, const std::wstring& name)
{
    const std::vector<InputInfo>& inputs = m_Index.Inputs();
    const auto it = std::find_if(inputs.begin(), inputs.end(), [&name](const InputInfo& in) { return in.name == name; });
    if (it == inputs.end())
        return false;
    const auto index = static_cast<unsigned>(it - inputs.begin());
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
        if (axis < m_Index.Inputs().size() && m_Index.Input(axis).fixed) {
            m_Index.Input(axis).fixed = 0;
            Reach().Vote(axis, false);
        }
    }
}
