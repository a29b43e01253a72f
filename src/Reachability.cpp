#include "Reachability.h"

#include "RecordIndex.h"

#include <algorithm>

void CRecordHits::Fit(std::size_t n, std::size_t nInputs)
{
    const bool bNarrow = nInputs < 256 && (m_nSize == 0 || m_Narrow.size() != 0);
    if (n <= m_nSize && bNarrow == (m_Narrow.size() != 0))
        return;
    n = std::max(n, m_nSize);
    if (bNarrow) {
        platform::CZeroedArray<std::uint8_t> wider(n);
        std::copy_n(m_Narrow.data(), m_nSize, wider.data());
        m_Narrow = std::move(wider);
    } else {
        platform::CZeroedArray<std::uint32_t> wider(n);
        for (std::size_t r = 0; r < m_nSize; ++r)
            wider[r] = Get(r);
        m_Narrow = {};
        m_Wide = std::move(wider);
    }
    m_nSize = n;
}

bool CInMemoryReachability::IsReachableUnderPins(std::size_t i, std::size_t pos) const
{
    const InputInfo& in = m_Index.Input(i);
    if (UnplacedKeys column; m_Index.Unplaced(i, &column)) {
        if (m_KeyReach.size() < m_Index.Inputs().size())
            m_KeyReach.resize(m_Index.Inputs().size());
        KeyReach& cache = m_KeyReach[i];
        if (cache.pinState != m_nPinState) {
            cache.reachable.assign(column.nKeys, 0);
            const std::uint32_t* const keys = column.keys;
            std::uint8_t* const reachable = cache.reachable.data();
            // Records beyond the counts have none, and m_nMaxHits is above zero.
            const std::size_t n = std::min<std::size_t>(column.nRecords, m_RecordHits.size());
            const std::uint32_t hits = m_nMaxHits;
            m_RecordHits.WithCounts([&](const auto* counts) {
                for (std::size_t r = 0; r < n; ++r)
                    if (counts[r] == hits)
                        reachable[keys[r]] = 1;
            });
            cache.pinState = m_nPinState;
        }
        return cache.reachable[static_cast<std::size_t>(in.values[pos].first)] != 0;
    }
    bool bReachable = false;
    m_Index.ForEachRecord(i, pos, [&](std::uint32_t r) { return !(bReachable = RecordHits(r) == m_nMaxHits); });
    return bReachable;
}

void CInMemoryReachability::Vote(std::size_t i, bool bAdd)
{
    if (!bAdd)
        m_nMaxHits = 0;
    ++m_nPinState;
    const InputInfo& in = m_Index.Input(i);
    const std::size_t nInputs = m_Index.Inputs().size();
    if (!in.HasCurrent() && !in.IsHeldOverRange())
        return;
    // An input held over a range votes for every record inside it.
    const auto [firstPos, lastPos] = in.HeldPositions();
    if (bAdd)
        m_RecordHits.Fit(m_Index.RecordCount(), nInputs);
    m_Index.CountScan(i);
    if (UnplacedKeys column; m_Index.Unplaced(i, &column)) {
        // The scan of ForEachRecord, on the counts in their own width.
        if (bAdd)
            m_RecordHits.Fit(column.nRecords, nInputs);
        const auto key = static_cast<std::uint32_t>(in.values[firstPos].first);
        const auto span = static_cast<std::uint32_t>(in.values[lastPos].first - key);
        const std::uint32_t* const keys = column.keys;
        const std::size_t n = std::min<std::size_t>(column.nRecords, m_RecordHits.size());
        std::uint32_t maxHits = m_nMaxHits;
        m_RecordHits.WithCounts([&](auto* counts) {
            for (std::size_t r = 0; r < n; ++r) {
                if (keys[r] - key > span)
                    continue;
                auto& count = counts[r];
                if (bAdd)
                    ++count;
                else if (count > 0)
                    --count;
                maxHits = std::max<std::uint32_t>(maxHits, count);
            }
        });
        m_nMaxHits = maxHits;
        return;
    }
    for (std::size_t pos = firstPos; pos <= lastPos; ++pos)
        m_Index.ForEachRecord(i, pos, [&](std::uint32_t r) {
            if (r >= m_RecordHits.size()) {
                if (!bAdd)
                    return true;
                m_RecordHits.Fit(static_cast<std::size_t>(r) + 1, nInputs);
            }
            m_nMaxHits = std::max(m_nMaxHits, m_RecordHits.Adjust(r, bAdd));
            return true;
        });
}


bool CInMemoryReachability::RecordKey(std::uint32_t r, std::size_t i, std::uint64_t& key) const
{
    return m_Index.SourceKey(r, i, key);
}

std::optional<std::uint32_t> CInMemoryReachability::FindRecord(std::size_t i, std::size_t pos) const
{
    if (pos >= ValueCount(i))
        return std::nullopt;
    std::optional<std::uint32_t> first;
    m_Index.CountScan(i);
    m_Index.ForEachRecord(i, pos, [&](std::uint32_t r) {
        if (RecordHits(r) < m_nMaxHits)
            return true;
        first = r;
        return false;
    });
    return first;
}

std::size_t CInMemoryReachability::ValueCount(std::size_t i) const
{
    return m_Index.Input(i).values.size();
}
