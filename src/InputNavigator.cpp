#include "InputNavigator.h"

#include "IStaticInputChange.h"
#include "Reachability.h"
#include "RecordIndex.h"

#include <algorithm>
#include <optional>

void CInputNavigator::StepUp(std::size_t i, unsigned n)
{
    StepBy(i, n, true);
}

void CInputNavigator::StepDown(std::size_t i, unsigned n)
{
    StepBy(i, n, false);
}

void CInputNavigator::StepBy(std::size_t i, unsigned n, bool bUp)
{
    InputInfo& in = m_Index.Input(i);
    if (!in.HasCurrent())
        return;
    // The count is taken as the editor's 16-bit step; zero still moves one.
    std::uint16_t count = static_cast<std::uint16_t>(n);
    if (count == 0)
        count = 1;
    for (std::size_t p = in.current; bUp ? ++p < in.values.size() : p-- > 0;) {
        if (Reachable(i, p)) {
            in.current = p;
            if (--count == 0)
                break;
        }
    }
}

std::size_t CInputNavigator::FindReachableUp(std::size_t i, std::size_t start) const
{
    for (std::size_t p = start + 1, n = m_pReach->ValueCount(i); p < n; ++p)
        if (Reachable(i, p))
            return p;
    return start;
}

std::size_t CInputNavigator::FindReachableDown(std::size_t i, std::size_t start) const
{
    for (std::size_t p = std::min(start, m_pReach->ValueCount(i)); p-- > 0;)
        if (Reachable(i, p))
            return p;
    return start;
}

void CInputNavigator::SelectRecord(std::uint32_t nRecord, bool bRemember)
{
    if (bRemember)
        m_nPrevRecord = m_nCurRecord;
    m_nCurRecord = nRecord;
    for (std::size_t i = 0; i < m_Index.Inputs().size(); ++i) {
        std::uint64_t key = 0;
        if (!m_pReach->RecordKey(nRecord, i, key))
            continue;
        const std::size_t pos = m_Index.Input(i).Find(key);
        if (pos != InputInfo::npos)
            m_Index.Input(i).current = pos;
    }
}

void CInputNavigator::FollowValue(std::size_t i)
{
    const InputInfo& in = m_Index.Input(i);
    if (!in.HasCurrent())
        return;
    const std::optional<std::uint32_t> first = m_pReach->FindRecord(i, in.current);
    if (!first)
        return;
    if (m_nLastChanged == static_cast<int>(i)) {
        SelectRecord(*first, false);
    } else {
        m_nLastChanged = static_cast<int>(i);
        SelectRecord(*first, true);
    }
}

bool CInputNavigator::IsStepCode(int code)
{
    return code == SB_LINEUP || code == SB_LINEDOWN || code == SB_PAGEUP || code == SB_PAGEDOWN ||
           code == SB_TOP || code == SB_BOTTOM || code == kTypedNumber;
}

bool CInputNavigator::Step(std::size_t n, int code, const double* pValue)
{
    InputInfo& in = m_Index.Input(n);
    const std::size_t count = in.values.size();
    const auto value = [&in](std::size_t pos) { return in.values[pos].second.value; };
    switch (code) {
    case SB_LINEUP:
        StepUp(n, 1);
        break;
    case SB_LINEDOWN:
        StepDown(n, 1);
        break;
    case SB_PAGEUP:
        StepUp(n, static_cast<unsigned>(count / 20));
        break;
    case SB_PAGEDOWN:
        StepDown(n, static_cast<unsigned>(count / 20));
        break;
    case SB_TOP: {
        if (count == 0)
            break;
        std::size_t candidate = in.Find(count - 1);
        if (candidate == InputInfo::npos)
            candidate = count - 1;
        in.current = Reachable(n, candidate) ? candidate : FindReachableDown(n, candidate);
        break;
    }
    case SB_BOTTOM:
        if (count == 0)
            break;
        in.current = Reachable(n, 0) ? 0 : FindReachableUp(n, 0);
        break;
    case kTypedNumber: {
        if (count == 0 || !pValue)
            break;
        const double t = *pValue;
        std::size_t nearest;
        if (!(t < value(count - 1))) {
            nearest = count - 1;
        } else if (!(t > value(0))) {
            nearest = 0;
        } else {
            // The first value not below t, or the one just below when it is
            // strictly closer (a tie takes the higher value).
            const auto it = std::partition_point(in.values.begin(), in.values.end(),
                                                 [t](const auto& entry) { return entry.second.value < t; });
            const std::size_t v = std::min(static_cast<std::size_t>(it - in.values.begin()), count - 1);
            nearest = v > 0 && t - value(v - 1) < value(v) - t ? v - 1 : v;
        }
        if (Reachable(n, nearest)) {
            in.current = nearest;
        } else {
            // The closer of the reachable neighbours (a tie goes down). A side
            // without a reachable value answers the start itself, which must
            // not win over a reachable value on the other side.
            const std::size_t up = FindReachableUp(n, nearest);
            const std::size_t down = FindReachableDown(n, nearest);
            if (up == nearest)
                in.current = down;
            else if (down == nearest)
                in.current = up;
            else
                in.current = t - value(down) <= value(up) - t ? down : up;
        }
        break;
    }
    default:
        return false;
    }
    return true;
}

void CInputNavigator::MoveNear(std::size_t n, std::size_t pos)
{
    InputInfo& in = m_Index.Input(n);
    if (Reachable(n, pos)) {
        in.current = pos;
    } else {
        const std::size_t up = FindReachableUp(n, pos);
        in.current = up != pos ? up : FindReachableDown(n, pos);
    }
}

bool CInputNavigator::CancelChange()
{
    m_nLastChanged = -1;
    if (m_nPrevRecord == m_nCurRecord)
        return false;
    m_nCurRecord = m_nPrevRecord;
    SelectRecord(m_nCurRecord, false);
    return true;
}

