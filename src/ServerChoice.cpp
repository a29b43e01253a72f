#include "ServerChoice.h"

#include "DataTransformer.h"
#include "SliceRemap.h"
#include "VersionInfo.h"
#include "diagnostics/snagwise.h"
#include "platform/errorinfo.h"

#include <QSettings>

#include <algorithm>

using namespace IQX_VantixDataProvider;

std::shared_ptr<CServerChoice> CServerChoice::Offered(IUnknown* pSource)
{
    ComPtr<IOptimizationResultsServerStudy> spServer;
    spServer.TryQueryFrom(pSource);
    if (!spServer)
        return nullptr;
    return std::shared_ptr<CServerChoice>(new CServerChoice(pSource));
}

CServerChoice::CServerChoice(IUnknown* pSource)
{
    m_spServer.TryQueryFrom(pSource);
    m_spSource.TryQueryFrom(pSource);
}

std::uint64_t CServerChoice::TrialCount() const
{
    std::uint64_t n = 0;
    return SUCCEEDED(m_spServer->GetTrialCount(&n)) ? n : 0;
}

HRESULT CServerChoice::CollectValues(std::vector<InputInfo>& inputs)
{
    if (!m_spSource)
        return E_NOINTERFACE;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        InputInfo& in = inputs[i];
        in.values.clear();
        double v = 0;
        while (m_spSource->GetInputValueByIndex(in.values.size(), static_cast<ULONG>(i), &v) == S_OK)
            in.values.push_back({in.values.size(), ValueInfo{{}, v}});
    }
    m_Reachable.assign(inputs.size(), std::nullopt);
    m_Records.clear();
    std::vector<std::uint64_t> first;
    if (m_spServer->GetMatchingTrial({}, &first) != S_OK)
        return E_FAIL;
    m_Records.push_back(std::move(first));
    return S_OK;
}

std::vector<HeldValues> CServerChoice::Pinned(const std::vector<InputInfo>& inputs) const
{
    std::vector<HeldValues> held;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const InputInfo& in = inputs[i];
        if (!in.fixed || (!in.HasCurrent() && !in.IsHeldOverRange()))
            continue;
        const auto [first, last] = in.HeldPositions();
        held.push_back({static_cast<ULONG>(i), in.values[first].first, in.values[last].first});
    }
    return held;
}

bool CServerChoice::IsReachable(const std::vector<InputInfo>& inputs, std::size_t i, std::size_t pos)
{
    if (m_Reachable.size() != inputs.size())
        m_Reachable.assign(inputs.size(), std::nullopt);
    auto& reachable = m_Reachable[i];
    if (!reachable) {
        std::vector<std::uint64_t> keys;
        if (FAILED(m_spServer->GetReachableValues(static_cast<ULONG>(i), Pinned(inputs), &keys)))
            return true; // the server's trouble shows when the slice is asked for
        reachable = std::move(keys);
    }
    return std::binary_search(reachable->begin(), reachable->end(), inputs[i].values[pos].first);
}

std::uint32_t CServerChoice::PinsChanged(const std::vector<InputInfo>& inputs)
{
    m_Reachable.assign(inputs.size(), std::nullopt);
    return static_cast<std::uint32_t>(Pinned(inputs).size());
}

std::uint64_t CServerChoice::CountSlice(const std::vector<InputInfo>& inputs, unsigned nX, unsigned nY)
{
    std::vector<HeldValues> held;
    if (!ForEachSliceHold(inputs, nX, nY, [&](std::size_t i, std::size_t first, std::size_t last) {
            held.push_back({static_cast<ULONG>(i), inputs[i].values[first].first, inputs[i].values[last].first});
        }))
        return 0;
    std::uint64_t n = 0;
    return SUCCEEDED(m_spServer->CountTrials(held, &n)) ? n : 0;
}

std::optional<std::uint32_t> CServerChoice::MatchingRecord(const std::vector<InputInfo>& inputs, std::size_t i,
                                                          std::size_t pos)
{
    const InputInfo& in = inputs[i];
    if (pos >= in.values.size())
        return std::nullopt;
    std::vector<HeldValues> held = Pinned(inputs);
    held.push_back({static_cast<ULONG>(i), in.values[pos].first, in.values[pos].first});
    std::vector<std::uint64_t> keys;
    if (m_spServer->GetMatchingTrial(held, &keys) != S_OK)
        return std::nullopt;
    m_Records.push_back(std::move(keys));
    return static_cast<std::uint32_t>(m_Records.size() - 1);
}

bool CServerChoice::Key(std::uint32_t record, std::size_t i, std::uint64_t* pKey) const
{
    if (record >= m_Records.size() || i >= m_Records[record].size())
        return false;
    *pKey = m_Records[record][i];
    return true;
}

bool SliceOnServer(CDataTransformer& transformer, std::wstring* pWhy)
{
    ComPtr<IOptimizationResultsServerStudy> spServer;
    spServer.TryQueryFrom(transformer.Source());
    if (!spServer)
        return true;
    std::vector<HeldValues> held;
    for (const FixedInput& f : transformer.m_Fixed)
        held.push_back({f.nInput, f.nValue, f.nValue + f.nSpan});
    ComPtr<IUnknown> spSlice;
    if (FAILED(spServer->GetSlice(held, &spSlice))) {
        std::wstring why;
        platform::IErrorInfo* pInfo = nullptr;
        if (platform::GetErrorInfo(0, &pInfo) == S_OK && pInfo) {
            pInfo->GetDescription(&why);
            pInfo->Release();
        }
        *pWhy = why.empty() ? L"The server could not give the chosen slice." : why;
        return false;
    }
    auto moved = RemapSlice(transformer, spSlice.Get());
    if (!moved) {
        *pWhy = L"The chosen slice holds no trials.";
        return false;
    }
    SW_TRACE(L"Chart : the server selected the slice");
    transformer = std::move(*moved);
    return true;
}

namespace {

const QString kBudgetKey = QStringLiteral("MemoryBudget");

} // namespace

std::uint64_t StudyBudget()
{
    const auto settings = OpenProgramSettings(L"\\Studies");
    return settings ? settings->value(kBudgetKey, 0ull).toULongLong() : 0;
}

void SetStudyBudget(std::uint64_t bytes)
{
    if (const auto settings = OpenProgramSettings(L"\\Studies"))
        settings->setValue(kBudgetKey, QVariant::fromValue<qulonglong>(bytes));
}

void ApplyStudyBudget(IUnknown* pProvider)
{
    ComPtr<IOptimizationResultsLoadBudget> spBudget;
    spBudget.TryQueryFrom(pProvider);
    if (spBudget)
        spBudget->SetMemoryBudget(StudyBudget());
}
