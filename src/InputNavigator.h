#pragma once
// Stepping through an input's values and the record shown: a step or a typed
// value only lands on values the pins leave reachable, and the record shown
// follows the value chosen.
#include "Reachability.h"

#include <cstddef>
#include <cstdint>
#include <string>

class CRecordIndex;

class CInputNavigator {
public:
    CInputNavigator(CRecordIndex& index, const CInMemoryReachability& reach)
        : m_Index(index), m_pReach(&reach), m_pInMemory(&reach)
    {
    }
    CInputNavigator(const CInputNavigator&) = delete;
    CInputNavigator& operator=(const CInputNavigator&) = delete;
    // Where the answers come from from now on (the records, or a server).
    void SetReachability(const IReachability& reach)
    {
        m_pReach = &reach;
        m_pInMemory = dynamic_cast<const CInMemoryReachability*>(&reach);
    }

    // Input i's current value moves n (at least one) reachable values up or
    // down, as far as there are.
    void StepUp(std::size_t i, unsigned n);
    void StepDown(std::size_t i, unsigned n);
    // The first reachable value above or below start; start when none is.
    std::size_t FindReachableUp(std::size_t i, std::size_t start) const;
    std::size_t FindReachableDown(std::size_t i, std::size_t start) const;
    // Input i's current value after a scroll code or a typed number t (code
    // kTypedNumber, pValue non-null); false for an unknown code.
    bool Step(std::size_t i, int code, const double* pValue);
    // The value at pos, else the nearest reachable one above, else below.
    void MoveNear(std::size_t i, std::size_t pos);

    // Every input's current value becomes its value in record r; bRemember:
    // the record shown before is the one a cancel goes back to.
    void SelectRecord(std::uint32_t nRecord, bool bRemember);
    // The record shown becomes the first with input i's current value and
    // every vote; the first change of a series remembers the record before.
    void FollowValue(std::size_t i);
    // Back to the record remembered; true when the record changed.
    bool CancelChange();

    std::uint32_t CurrentRecord() const { return m_nCurRecord; }
    std::uint32_t PreviousRecord() const { return m_nPrevRecord; }
    // The input the current series of changes is on; -1: none.
    int LastChanged() const { return m_nLastChanged; }

    // Code of a typed number (the other codes are scroll codes).
    static constexpr int kTypedNumber = -1;
    static bool IsStepCode(int code);

private:
    // The in-memory answers are called directly (and inlined) in the loops over values.
    bool Reachable(std::size_t i, std::size_t pos) const
    {
        return m_pInMemory ? m_pInMemory->IsReachable(i, pos) : m_pReach->IsReachable(i, pos);
    }
    void StepBy(std::size_t i, unsigned n, bool bUp);

    CRecordIndex& m_Index;
    const IReachability* m_pReach;
    const CInMemoryReachability* m_pInMemory; // m_pReach when it answers from memory
    std::uint32_t m_nCurRecord = 0;
    std::uint32_t m_nPrevRecord = 0;
    int m_nLastChanged = -1;
};
