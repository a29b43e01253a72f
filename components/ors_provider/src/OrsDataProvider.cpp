#include "OrsDataProvider.h"

#include "ReadProgress.h"
#include "import/Import.h"

#include "platform/comptr.h"

#include <algorithm>
#include <limits>
#include <new>

namespace ors {

COptimizationResultsData::COptimizationResultsData(OrsContent content)
    : m_content(std::move(content)), m_pFunctionValues(m_content.functionValues.data()),
      m_pValueIndices(m_content.valueIndices.data()), m_nRecords(m_content.header.recordCount),
      m_nInputs(ULONG(m_content.header.inputs.size())), m_nFunctions(ULONG(m_content.header.functions.size()))
{
    for (const auto& distinct : m_content.distinctValues)
        m_distinct.push_back(distinct.data());
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

HRESULT COptimizationResultsData::Save(const std::wstring& path)
{
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
    return riid == platform::uuidof<IOptimizationResultsDataSaver>() ? S_OK : S_FALSE;
}

HRESULT COptimizationResultsDataProvider::Load(const std::wstring& path, IUnknown** ppData)
{
    if (!ppData)
        return E_POINTER;
    *ppData = nullptr;
    const IID& iid = platform::uuidof<IOptimizationResultsDataProvider>();
    // Held for the whole load: the sink may replace itself from its callback.
    const ComPtr<ILoadProgressSink> spSink = m_spProgressSink;
    ReadProgress progress(spSink.Get());
    try {
        progress.Report();
        auto data = platform::MakeCom<COptimizationResultsData>(ReadResultsFile(path, {}, progress));
        progress.Finish();
        *ppData = static_cast<IOptimizationResultsDataSource*>(data.Detach());
        return S_OK;
    } catch (const LoadCancelled&) {
        platform::SetErrorDescription(L"Loading was cancelled.", iid);
        return E_ABORT;
    } catch (const OrsError& e) {
        platform::SetErrorDescription(e.message, iid);
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        platform::SetErrorDescription(L"The file \"" + path + L"\" could not be read: there is not enough memory.", iid);
        return E_OUTOFMEMORY;
    }
}

HRESULT COptimizationResultsDataProvider::SetProgressSink(ILoadProgressSink* pSink)
{
    m_spProgressSink = pSink;
    return S_OK;
}

HRESULT COptimizationResultsDataProvider::InterfaceSupportsErrorInfo(REFIID riid)
{
    return riid == platform::uuidof<IOptimizationResultsDataProvider>() ? S_OK : S_FALSE;
}

} // namespace ors
