#pragma once
// The provider's COM objects: the root object that loads files and the data
// object a load hands back.
#include "OrsFormat.h"
#include "ors_provider/IDataMeaning.h"
#include "ors_provider/ILiveStudy.h"
#include "ors_provider/ILoadProgress.h"
#include "ors_provider/ILoadReport.h"
#include "ors_provider/IServerStudy.h"
#include "ors_provider/IQX_VantixDataColumns.h"
#include "ors_provider/IQX_VantixDataProvider.h"
#include "platform/comptr.h"
#include "platform/errorinfo.h"

#include <memory>

namespace ors {

using namespace IQX_VantixDataProvider;

class StudyLink;
class CServerStudy;

// Data read from an optimizer's study also answer IOptimizationResultsLiveStudy
// (through QueryExtra: objects of plain files do not).
class COptimizationResultsData final
    : public platform::ComObject<IOptimizationResultsDataSource, IOptimizationResultsDataSourceEx,
                                 IOptimizationResultsDataSaver, platform::ISupportErrorInfo,
                                 IOptimizationResultsDataColumns, IOptimizationResultsLoadReport,
                                 IOptimizationResultsDataMeaning>,
      public IOptimizationResultsLiveStudy {
public:
    explicit COptimizationResultsData(OrsContent content, std::shared_ptr<StudyLink> link = nullptr);

    // One identity for every base, the live study's included.
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return ComObject::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return ComObject::AddRef(); }
    ULONG Release() override { return ComObject::Release(); }

    HRESULT Refresh(IUnknown** ppNewer) override;
    HRESULT GetTrialCount(ULONG* pCount) override;

    HRESULT GetInputCount(ULONG* pCount) override;
    HRESULT GetFunctionCount(ULONG* pCount) override;
    HRESULT GetInputName(ULONG input, std::wstring* pName) override;
    HRESULT GetFunctionName(ULONG function, std::wstring* pName) override;
    HRESULT GetRecordCount(ULONG* pCount) override;
    HRESULT GetInputValue(ULONG record, ULONG input, double* pValue) override;
    HRESULT GetFunctionValue(ULONG record, ULONG function, double* pValue) override;
    HRESULT GetDataType(LONG* pType) override;
    HRESULT GetSignalName(ULONG input, std::wstring* pName) override;

    HRESULT GetInputValueIndex(ULONG record, ULONG input, std::uint64_t* pIndex) override;
    HRESULT GetInputValueByIndex(std::uint64_t index, ULONG input, double* pValue) override;

    HRESULT Save(const std::wstring& path) override;

    // Views of the stored columns; the data never change after the load.
    HRESULT GetInputValueIndexColumn(ULONG input, const std::uint32_t** ppIndices, ULONG* pCount) override;
    HRESULT GetInputDistinctValues(ULONG input, const double** ppValues, ULONG* pCount) override;
    HRESULT GetFunctionValueColumn(ULONG function, const double** ppValues, ULONG* pCount) override;

    HRESULT GetSkippedRecordCount(ULONG* pCount) override;

    HRESULT GetInputValueLabel(ULONG input, std::uint64_t index, std::wstring* pLabel) override;
    HRESULT IsInputLabelled(ULONG input) override;
    HRESULT GetInputNoneIndex(ULONG input, std::uint64_t* pIndex) override;
    HRESULT GetInputScale(ULONG input, LONG* pScale) override;
    HRESULT GetFunctionScale(ULONG function, LONG* pScale) override;
    HRESULT GetFunctionDirection(ULONG function, LONG* pDirection) override;

    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

protected:
    bool QueryExtra(REFIID riid, void** ppv) override;

private:
    // Whether value index `index` of `input` is its "(none)".
    bool isNone(ULONG input, std::uint64_t index) const;

    OrsContent m_content;
    std::shared_ptr<StudyLink> m_link;
    // Set when the study stays on its server (see IServerStudy.h).
    std::shared_ptr<CServerStudy> m_pServer;
    // Copies of the hot fields, so the per-value getters are a compare and a load.
    std::vector<const double*> m_distinct; // per input
    const double* m_pFunctionValues;
    const std::uint32_t* m_pValueIndices;
    ULONG m_nRecords;
    ULONG m_nInputs;
    ULONG m_nFunctions;
};

class COptimizationResultsDataProvider final
    : public platform::ComObject<IOptimizationResultsDataProvider, IOptimizationResultsLoadProgress,
                                 IOptimizationResultsLoadOptions, IOptimizationResultsLoadBudget,
                                 platform::ISupportErrorInfo> {
public:
    HRESULT Load(const std::wstring& path, IUnknown** ppData) override;
    HRESULT SetProgressSink(ILoadProgressSink* pSink) override;

    HRESULT SetStudy(const std::wstring& name) override;
    HRESULT SetColumnRoles(const std::vector<std::wstring>& inputs,
                           const std::vector<std::wstring>& functions) override;
    HRESULT SetAcceptGuess(BOOL accept) override;
    HRESULT GetPendingChoice(LoadChoice* pChoice) override;
    HRESULT SetPassword(const std::wstring& password) override;
    HRESULT SetMemoryBudget(std::uint64_t bytes) override;

    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

private:
    ComPtr<ILoadProgressSink> m_spProgressSink;
    std::wstring m_study;
    std::vector<std::wstring> m_inputs, m_functions;
    bool m_acceptGuess = false;
    std::optional<std::wstring> m_password;
    std::uint64_t m_budget = 0; // 0: the default
    LoadChoice m_pending;
};

} // namespace ors
