#include "OrsDataProvider.h"

#include "ReadProgress.h"
#include "ServerStudy.h"
#include "db/StudyUrl.h"
#include "import/Import.h"
#include "import/StudyLink.h"

#include "platform/comptr.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <new>

#include <unistd.h>

namespace ors {

COptimizationResultsData::COptimizationResultsData(OrsContent content, std::shared_ptr<StudyLink> link)
    : m_content(std::move(content)), m_link(std::move(link)), m_pFunctionValues(m_content.functionValues.data()),
      m_pValueIndices(m_content.valueIndices.data()), m_nRecords(m_content.header.recordCount),
      m_nInputs(ULONG(m_content.header.inputs.size())), m_nFunctions(ULONG(m_content.header.functions.size()))
{
    for (const auto& distinct : m_content.distinctValues)
        m_distinct.push_back(distinct.data());
    if (m_link && m_link->ServerSide())
        m_pServer = std::make_shared<CServerStudy>(*static_cast<IOptimizationResultsDataSource*>(this), m_link);
}

HRESULT COptimizationResultsData::GetInputCount(ULONG* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = m_nInputs;
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionCount(ULONG* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = m_nFunctions;
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputName(ULONG input, std::wstring* pName)
{
    if (!pName)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    *pName = FromUtf8(m_content.header.inputs[input].name);
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionName(ULONG function, std::wstring* pName)
{
    if (!pName)
        return E_POINTER;
    if (function >= m_nFunctions)
        return E_INVALIDARG;
    *pName = FromUtf8(m_content.header.functions[function]);
    return S_OK;
}

HRESULT COptimizationResultsData::GetRecordCount(ULONG* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = m_nRecords;
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputValue(ULONG record, ULONG input, double* pValue)
{
    if (!pValue)
        return E_POINTER;
    if (record >= m_nRecords || input >= m_nInputs)
        return E_INVALIDARG;
    *pValue = m_distinct[input][m_pValueIndices[std::size_t(input) * m_nRecords + record]];
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionValue(ULONG record, ULONG function, double* pValue)
{
    if (!pValue)
        return E_POINTER;
    if (record >= m_nRecords || function >= m_nFunctions)
        return E_INVALIDARG;
    *pValue = m_pFunctionValues[std::size_t(function) * m_nRecords + record];
    return S_OK;
}

HRESULT COptimizationResultsData::GetDataType(LONG* pType)
{
    if (!pType)
        return E_POINTER;
    *pType = m_content.header.dataType;
    return S_OK;
}

HRESULT COptimizationResultsData::GetSignalName(ULONG input, std::wstring* pName)
{
    if (!pName)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    *pName = FromUtf8(m_content.header.inputs[input].signal);
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputValueIndex(ULONG record, ULONG input, std::uint64_t* pIndex)
{
    if (!pIndex)
        return E_POINTER;
    if (record >= m_nRecords || input >= m_nInputs)
        return E_INVALIDARG;
    *pIndex = m_pValueIndices[std::size_t(input) * m_nRecords + record];
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputValueByIndex(std::uint64_t index, ULONG input, double* pValue)
{
    if (!pValue)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    const auto& distinct = m_content.distinctValues[input];
    if (index >= distinct.size())
        return E_INVALIDARG;
    *pValue = distinct[index];
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputValueIndexColumn(ULONG input, const std::uint32_t** ppIndices, ULONG* pCount)
{
    if (!ppIndices || !pCount)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    *ppIndices = m_pValueIndices + std::size_t(input) * m_nRecords;
    *pCount = m_nRecords;
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputDistinctValues(ULONG input, const double** ppValues, ULONG* pCount)
{
    if (!ppValues || !pCount)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    *ppValues = m_distinct[input];
    *pCount = ULONG(m_content.distinctValues[input].size());
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionValueColumn(ULONG function, const double** ppValues, ULONG* pCount)
{
    if (!ppValues || !pCount)
        return E_POINTER;
    if (function >= m_nFunctions)
        return E_INVALIDARG;
    *ppValues = m_pFunctionValues + std::size_t(function) * m_nRecords;
    *pCount = m_nRecords;
    return S_OK;
}

HRESULT COptimizationResultsData::GetSkippedRecordCount(ULONG* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = ULONG(std::min<std::uint64_t>(m_content.skippedRecords, std::numeric_limits<ULONG>::max()));
    return S_OK;
}

bool COptimizationResultsData::QueryExtra(REFIID riid, void** ppv)
{
    if (m_pServer && riid == platform::uuidof<IOptimizationResultsServerStudy>()) {
        *ppv = static_cast<IOptimizationResultsServerStudy*>(m_pServer.get());
        return true;
    }
    if (!m_link || riid != platform::uuidof<IOptimizationResultsLiveStudy>())
        return false;
    *ppv = static_cast<IOptimizationResultsLiveStudy*>(this);
    return true;
}

HRESULT COptimizationResultsData::Refresh(IUnknown** ppNewer)
{
    if (!ppNewer)
        return E_POINTER;
    *ppNewer = nullptr;
    if (!m_link)
        return E_NOTIMPL;
    const IID& iid = platform::uuidof<IOptimizationResultsLiveStudy>();
    try {
        std::optional<OrsContent> content = m_link->Refresh();
        if (!content)
            return S_FALSE;
        auto data = platform::MakeCom<COptimizationResultsData>(std::move(*content), m_link);
        *ppNewer = static_cast<IOptimizationResultsDataSource*>(data.Detach());
        return S_OK;
    } catch (const OrsError& e) {
        platform::SetErrorDescription(e.message, iid);
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        platform::SetErrorDescription(L"The study could not be read again: there is not enough memory.", iid);
        return E_OUTOFMEMORY;
    }
}

HRESULT COptimizationResultsData::GetTrialCount(ULONG* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = m_link ? ULONG(std::min<std::uint64_t>(m_link->TrialCount(), std::numeric_limits<ULONG>::max())) : 0;
    return m_link ? S_OK : E_NOTIMPL;
}

bool COptimizationResultsData::isNone(ULONG input, std::uint64_t index) const
{
    const auto& none = m_content.header.inputs[input].noneValue;
    const auto& distinct = m_content.distinctValues[input];
    return none && index + 1 == distinct.size() && distinct.back() == *none;
}

HRESULT COptimizationResultsData::GetInputValueLabel(ULONG input, std::uint64_t index, std::wstring* pLabel)
{
    if (!pLabel)
        return E_POINTER;
    pLabel->clear();
    if (input >= m_nInputs || index >= m_content.distinctValues[input].size())
        return E_INVALIDARG;
    if (isNone(input, index)) {
        *pLabel = kNoneLabel;
        return S_OK;
    }
    const auto& labels = m_content.header.inputs[input].labels;
    if (labels.empty())
        return S_FALSE;
    // Codes, not value indices: a label no record holds keeps its code.
    const auto code = std::size_t(m_content.distinctValues[input][index]);
    if (code >= labels.size())
        return E_UNEXPECTED;
    *pLabel = FromUtf8(labels[code]);
    return S_OK;
}

HRESULT COptimizationResultsData::IsInputLabelled(ULONG input)
{
    if (input >= m_nInputs)
        return E_INVALIDARG;
    return m_content.header.inputs[input].labelled() ? S_OK : S_FALSE;
}

HRESULT COptimizationResultsData::GetInputNoneIndex(ULONG input, std::uint64_t* pIndex)
{
    if (!pIndex)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    const std::size_t n = m_content.distinctValues[input].size();
    if (n == 0 || !isNone(input, n - 1))
        return S_FALSE;
    *pIndex = n - 1;
    return S_OK;
}

HRESULT COptimizationResultsData::GetInputScale(ULONG input, LONG* pScale)
{
    if (!pScale)
        return E_POINTER;
    if (input >= m_nInputs)
        return E_INVALIDARG;
    *pScale = m_content.header.inputs[input].scale == kLogScale ? kScaleLog : kScaleLinear;
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionScale(ULONG function, LONG* pScale)
{
    if (!pScale)
        return E_POINTER;
    if (function >= m_nFunctions)
        return E_INVALIDARG;
    *pScale = m_content.header.functionScale(function) == kLogScale ? kScaleLog : kScaleLinear;
    return S_OK;
}

HRESULT COptimizationResultsData::GetFunctionDirection(ULONG function, LONG* pDirection)
{
    if (!pDirection)
        return E_POINTER;
    if (function >= m_nFunctions)
        return E_INVALIDARG;
    *pDirection = m_content.header.functionDirection(function) == kMaximize ? kDirectionMaximize : kDirectionMinimize;
    return S_OK;
}

HRESULT COptimizationResultsData::Save(const std::wstring& path)
{
    if (m_pServer) {
        platform::SetErrorDescription(L"The study needs more memory than the budget allows, so it stays on its server "
                                      L"and cannot be saved whole; save a slice of it instead.",
                                      platform::uuidof<IOptimizationResultsDataSaver>());
        return E_FAIL;
    }
    try {
        const HugeArray<double> inputValues = ExpandInputValues(m_content);
        std::vector<const double*> inputs, functions;
        for (ULONG i = 0; i < m_nInputs; ++i)
            inputs.push_back(inputValues.data() + std::size_t(i) * m_nRecords);
        for (ULONG f = 0; f < m_nFunctions; ++f)
            functions.push_back(m_pFunctionValues + std::size_t(f) * m_nRecords);
        WriteOrsFile(path, m_content.header, inputs, functions);
        return S_OK;
    } catch (const OrsError& e) {
        platform::SetErrorDescription(e.message, platform::uuidof<IOptimizationResultsDataSaver>());
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        platform::SetErrorDescription(L"The file \"" + path + L"\" could not be written: out of memory.",
                                      platform::uuidof<IOptimizationResultsDataSaver>());
        return E_OUTOFMEMORY;
    }
}

HRESULT COptimizationResultsData::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == platform::uuidof<IOptimizationResultsDataSaver>() || riid == platform::uuidof<IOptimizationResultsLiveStudy>()
               ? S_OK
               : S_FALSE;
}

namespace {

LoadChoice rolesChoice(const RolesGuess& guess)
{
    LoadChoice choice;
    choice.kind = kChoiceRoles;
    for (const auto& column : guess.columns)
        choice.columns.push_back(FromUtf8(column));
    for (const std::int32_t role : guess.roles)
        choice.guessedRoles.push_back(role == kRoleFunction ? IQX_VantixDataProvider::kRoleFunction
                                      : role == kRoleInput  ? IQX_VantixDataProvider::kRoleInput
                                                            : IQX_VantixDataProvider::kRoleIgnore);
    choice.headerHash = FromUtf8(guess.headerHash);
    return choice;
}

} // namespace

HRESULT COptimizationResultsDataProvider::Load(const std::wstring& path, IUnknown** ppData)
{
    if (!ppData)
        return E_POINTER;
    *ppData = nullptr;
    const IID& iid = platform::uuidof<IOptimizationResultsDataProvider>();
    // Held for the whole load: the sink may replace itself from its callback.
    const ComPtr<ILoadProgressSink> spSink = m_spProgressSink;
    ReadProgress progress(spSink.Get());
    m_pending = {};
    try {
        ImportOptions options;
        options.study = ToUtf8(m_study);
        for (const auto& name : m_inputs)
            options.inputColumns.push_back(ToUtf8(name));
        for (const auto& name : m_functions)
            options.functionColumns.push_back(ToUtf8(name));
        options.unnamedIgnored = true;
        options.acceptGuess = m_acceptGuess;
        if (m_password)
            options.password = ToUtf8(*m_password);
        // By default a quarter of the memory: a study that needs more stays on its server.
        options.memoryBudget = m_budget ? m_budget
                                        : std::uint64_t(sysconf(_SC_PHYS_PAGES)) * std::uint64_t(sysconf(_SC_PAGE_SIZE)) / 4;
        progress.Report();
        std::shared_ptr<StudyLink> link;
        OrsContent content = ReadResultsFile(path, options, progress, &link);
        if (content.guessedRoles)
            m_pending = rolesChoice(*content.guessedRoles);
        auto data = platform::MakeCom<COptimizationResultsData>(std::move(content), std::move(link));
        progress.Finish();
        *ppData = static_cast<IOptimizationResultsDataSource*>(data.Detach());
        return S_OK;
    } catch (const ChoiceNeeded& e) {
        if (e.password) {
            m_pending.kind = kChoicePassword;
        } else if (e.studies.empty()) {
            m_pending = rolesChoice(e.roles);
        } else {
            m_pending.kind = kChoiceStudy;
            for (const auto& study : e.studies) {
                m_pending.studies.push_back(FromUtf8(study.name));
                m_pending.trialCounts.push_back(ULONG(std::min<std::uint64_t>(study.trials, ULONG_MAX)));
            }
        }
        platform::SetErrorDescription(e.message, iid);
        return ORS_E_CHOICE_NEEDED;
    } catch (const LoadCancelled&) {
        platform::SetErrorDescription(L"Loading was cancelled.", iid);
        return E_ABORT;
    } catch (const OrsError& e) {
        platform::SetErrorDescription(e.message, iid);
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        platform::SetErrorDescription(L"The file \"" + FromUtf8(RedactStudyUrl(ToUtf8(path))) +
                                          L"\" could not be read: there is not enough memory.",
                                      iid);
        return E_OUTOFMEMORY;
    }
}

HRESULT COptimizationResultsDataProvider::SetProgressSink(ILoadProgressSink* pSink)
{
    m_spProgressSink = pSink;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::SetStudy(const std::wstring& name)
{
    m_study = name;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::SetColumnRoles(const std::vector<std::wstring>& inputs,
                                                         const std::vector<std::wstring>& functions)
{
    m_inputs = inputs;
    m_functions = functions;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::SetMemoryBudget(std::uint64_t bytes)
{
    m_budget = bytes;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::SetAcceptGuess(BOOL accept)
{
    m_acceptGuess = accept != FALSE;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::SetPassword(const std::wstring& password)
{
    m_password = password;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::GetPendingChoice(LoadChoice* pChoice)
{
    if (!pChoice)
        return E_POINTER;
    *pChoice = m_pending;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == platform::uuidof<IOptimizationResultsDataProvider>() ? S_OK : S_FALSE;
}

} // namespace ors
