#pragma once
// IOptimizationResultsServerStudy of a data object whose study stays on its
// server: a part of that object (its references and identity are the
// object's) that turns each question into queries through the study's link.
#include "ors_provider/IServerStudy.h"

#include <memory>

namespace ors {

class StudyLink;

class CServerStudy final : public IQX_VantixDataProvider::IOptimizationResultsServerStudy {
public:
    CServerStudy(IUnknown& owner, std::shared_ptr<StudyLink> link) : m_owner(owner), m_link(std::move(link)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return m_owner.QueryInterface(riid, ppv); }
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }

    HRESULT GetTrialCount(std::uint64_t* pCount) override;
    HRESULT GetReachableValues(ULONG input, const std::vector<IQX_VantixDataProvider::HeldValues>& held,
                               std::vector<std::uint64_t>* pValues) override;
    HRESULT CountTrials(const std::vector<IQX_VantixDataProvider::HeldValues>& held, std::uint64_t* pCount) override;
    HRESULT GetMatchingTrial(const std::vector<IQX_VantixDataProvider::HeldValues>& held,
                             std::vector<std::uint64_t>* pValues) override;
    HRESULT GetSlice(const std::vector<IQX_VantixDataProvider::HeldValues>& held, IUnknown** ppSlice) override;

private:
    // f() with the provider's errors turned into codes and error objects.
    template <class F>
    HRESULT answer(F f);

    IUnknown& m_owner;
    const std::shared_ptr<StudyLink> m_link;
};

} // namespace ors
