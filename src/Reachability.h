#pragma once
// Which values the pins leave reachable. Every input pinned by its "Fix" box
// votes for the records in which it has a value it is held at; a value is
// reachable when one of its records carries every vote.
#include "RecordIndex.h"
#include "platform/hugepages.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The questions navigation asks, apart from where their answers come from
// (the records in memory, or a server holding a study too large to load).
// Inputs and value positions are those of the model's record index.
class IReachability {
public:
    virtual ~IReachability() = default;
    // Input i's vote for the records of the values it is held at now, cast
    // (bAdd) or withdrawn.
    virtual void Vote(std::size_t i, bool bAdd) = 0;
    // Whether the value at pos of input i occurs in a record with every vote;
    // any value is while nothing is pinned, none beyond the input's values.
    virtual bool IsReachable(std::size_t i, std::size_t pos) const = 0;
    // The first record in which input i has the value at pos and which
    // carries every vote; nothing when none does.
    virtual std::optional<std::uint32_t> FindRecord(std::size_t i, std::size_t pos) const = 0;
    // The number of values of input i.
    virtual std::size_t ValueCount(std::size_t i) const = 0;
    // The value index of input i in record r, a record FindRecord gave.
    virtual bool RecordKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const = 0;
};

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
    platform::CZeroedArray<std::uint8_t> m_Narrow;
    platform::CZeroedArray<std::uint32_t> m_Wide;
    std::size_t m_nSize = 0;
};

// The answers from the records in memory: a vote count per record.
class CInMemoryReachability final : public IReachability {
public:
    explicit CInMemoryReachability(const CRecordIndex& index) : m_Index(index) {}

    void Vote(std::size_t i, bool bAdd) override;
    // Inline for the steps' loops: without pins every value is reachable.
    bool IsReachable(std::size_t i, std::size_t pos) const override
    {
        if (pos >= m_Index.Input(i).values.size())
            return false;
        return m_nMaxHits == 0 || IsReachableUnderPins(i, pos);
    }
    std::optional<std::uint32_t> FindRecord(std::size_t i, std::size_t pos) const override;
    std::size_t ValueCount(std::size_t i) const override;
    bool RecordKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const override;
    // The index read a source again: what was cached of its inputs goes.
    void Reindexed() { m_KeyReach.clear(); }

    // The votes record r carries.
    std::uint32_t RecordHits(std::uint32_t r) const { return m_RecordHits.Get(r); }
    // The most votes any record carries (0 once a vote was withdrawn, until
    // the next is cast: then only records with every vote count).
    std::uint32_t MaxHits() const { return m_nMaxHits; }

private:
    bool IsReachableUnderPins(std::size_t i, std::size_t pos) const;

    const CRecordIndex& m_Index;
    // Allocated with the first pin.
    CRecordHits m_RecordHits;
    std::uint32_t m_nMaxHits = 0;
    // Counts the changes of m_RecordHits (what the key cache was found for).
    std::uint64_t m_nPinState = 1;
    // A cache for inputs whose records are not placed yet: which of their
    // keys are reachable, found by one scan of the key column per change of
    // the pins, and the pin state it is for.
    struct KeyReach {
        std::vector<std::uint8_t> reachable;
        std::uint64_t pinState = 0;
    };
    mutable std::vector<KeyReach> m_KeyReach;
};
