#include "ServerStudy.h"

#include "OrsDataProvider.h"
#include "import/StudyLink.h"

#include "platform/errorinfo.h"

#include <new>

namespace ors {

using namespace IQX_VantixDataProvider;

namespace {

std::vector<import::HeldRange> ranges(const std::vector<HeldValues>& held)
{
    std::vector<import::HeldRange> out;
    for (const HeldValues& h : held)
        out.push_back({std::uint32_t(h.input), h.first, h.last});
    return out;
}

} // namespace

template <class F>
HRESULT CServerStudy::answer(F f)
{
    const IID& iid = platform::uuidof<IOptimizationResultsServerStudy>();
    try {
        return f();
    } catch (const OrsError& e) {
        platform::SetErrorDescription(e.message, iid);
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        platform::SetErrorDescription(L"The study could not be asked: there is not enough memory.", iid);
        return E_OUTOFMEMORY;
    }
}

HRESULT CServerStudy::GetTrialCount(std::uint64_t* pCount)
{
    if (!pCount)
        return E_POINTER;
    *pCount = m_link->CompletedCount();
    return S_OK;
}

HRESULT CServerStudy::GetReachableValues(ULONG input, const std::vector<HeldValues>& held,
                                         std::vector<std::uint64_t>* pValues)
{
    if (!pValues)
        return E_POINTER;
    return answer([&] {
        *pValues = m_link->Reachable(std::uint32_t(input), ranges(held));
        return S_OK;
    });
}

HRESULT CServerStudy::CountTrials(const std::vector<HeldValues>& held, std::uint64_t* pCount)
{
    if (!pCount)
        return E_POINTER;
    return answer([&] {
        *pCount = m_link->Count(ranges(held));
        return S_OK;
    });
}

HRESULT CServerStudy::GetMatchingTrial(const std::vector<HeldValues>& held, std::vector<std::uint64_t>* pValues)
{
    if (!pValues)
        return E_POINTER;
    pValues->clear();
    return answer([&] {
        auto match = m_link->Match(ranges(held));
        if (!match)
            return S_FALSE;
        *pValues = std::move(*match);
        return S_OK;
    });
}

HRESULT CServerStudy::GetSlice(const std::vector<HeldValues>& held, IUnknown** ppSlice)
{
    if (!ppSlice)
        return E_POINTER;
    *ppSlice = nullptr;
    return answer([&] {
        auto [content, link] = m_link->Slice(ranges(held));
        auto data = platform::MakeCom<COptimizationResultsData>(std::move(content), std::move(link));
        *ppSlice = static_cast<IOptimizationResultsDataSource*>(data.Detach());
        return S_OK;
    });
}

} // namespace ors
