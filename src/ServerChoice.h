#pragma once
// Studies too large to load stay on their server (IServerStudy.h). The
// "Data Representation" model asks the server instead of scanning records,
// the chart document takes the slice the server selects, and the memory
// budget that decides it is a setting of Connect to Study.
#include "Reachability.h"
#include "RecordIndex.h"
#include "ors_provider/IServerStudy.h"
#include "platform/comptr.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CDataTransformer;

// The model's questions about a study on its server. Its records are the
// trials the server answered with (record 0 the first of the study), kept
// by value index of each input.
class CServerChoice {
public:
    // Null when the source holds its records itself.
    static std::shared_ptr<CServerChoice> Offered(IUnknown* pSource);

    // Completed trials of the study.
    std::uint64_t TrialCount() const;
    // Every input's values from the source's distinct values, without records.
    HRESULT CollectValues(std::vector<InputInfo>& inputs);
    // Whether a trial holds value pos of input i with every pinned input at
    // its held values (asked once per input and set of pins).
    bool IsReachable(const std::vector<InputInfo>& inputs, std::size_t i, std::size_t pos);
    // The pins changed; returns how many inputs are pinned.
    std::uint32_t PinsChanged(const std::vector<InputInfo>& inputs);
    // Trials of the slice: every input but X and Y at its held values.
    std::uint64_t CountSlice(const std::vector<InputInfo>& inputs, unsigned nX, unsigned nY);
    // A trial with input i at its value at pos and the pinned inputs at
    // theirs, as a record of this object; nothing when there is none.
    std::optional<std::uint32_t> MatchingRecord(const std::vector<InputInfo>& inputs, std::size_t i,
                                                std::size_t pos);
    // The value index of input i in a record.
    bool Key(std::uint32_t record, std::size_t i, std::uint64_t* pKey) const;

private:
    explicit CServerChoice(IUnknown* pSource);
    std::vector<IQX_VantixDataProvider::HeldValues> Pinned(const std::vector<InputInfo>& inputs) const;

    ComPtr<IQX_VantixDataProvider::IOptimizationResultsServerStudy> m_spServer;
    ComPtr<IQX_VantixDataProvider::IOptimizationResultsDataSourceEx> m_spSource;
    std::vector<std::optional<std::vector<std::uint64_t>>> m_Reachable; // per input, for the pins now
    std::vector<std::vector<std::uint64_t>> m_Records;
};

// The navigation's questions about a study on its server, over the model's
// record index (whose inputs carry the pins and holds the server is asked with).
class CServerReachability final : public IReachability {
public:
    CServerReachability(std::shared_ptr<CServerChoice> server, const CRecordIndex& index)
        : m_pServer(std::move(server)), m_Index(index)
    {
    }
    void Vote(std::size_t, bool) override { m_nPins = m_pServer->PinsChanged(m_Index.Inputs()); }
    bool IsReachable(std::size_t i, std::size_t pos) const override
    {
        return pos < ValueCount(i) && (m_nPins == 0 || m_pServer->IsReachable(m_Index.Inputs(), i, pos));
    }
    std::optional<std::uint32_t> FindRecord(std::size_t i, std::size_t pos) const override
    {
        return pos < ValueCount(i) ? m_pServer->MatchingRecord(m_Index.Inputs(), i, pos) : std::nullopt;
    }
    std::size_t ValueCount(std::size_t i) const override { return m_Index.Input(i).values.size(); }
    bool RecordKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const override
    {
        return m_pServer->Key(r, i, &key);
    }

private:
    std::shared_ptr<CServerChoice> m_pServer;
    const CRecordIndex& m_Index;
    std::uint32_t m_nPins = 0;
};

// The slice of a transformer on a study that stays on its server: the
// server selects the trials, and the choice is carried over to them by value.
// True and nothing changed for other sources; false with *pWhy when the
// server could not give the slice.
bool SliceOnServer(CDataTransformer& transformer, std::wstring* pWhy);

// The memory budget of a load in bytes (0: a quarter of the memory), kept in
// the settings; ApplyStudyBudget hands it to a provider that takes one.
std::uint64_t StudyBudget();
void SetStudyBudget(std::uint64_t bytes);
void ApplyStudyBudget(IUnknown* pProvider);
