#pragma once
// Optional additions to the data provider contract for studies that do not
// fit the load's memory budget. Such a study loads as a data object without
// records: its inputs with their distinct values (asked from the server) and
// its functions. Everything that needs trials is a query on the server,
// through IOptimizationResultsServerStudy.
#include "ors_provider/IQX_VantixDataProvider.h"

#include <cstdint>
#include <vector>

namespace IQX_VantixDataProvider {

// Input `input` held at the values whose value indices lie in first .. last
// (one value when they are equal).
struct HeldValues {
    ULONG input = 0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

struct IOptimizationResultsServerStudy : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C66, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // Completed trials of the study when it was opened.
    virtual HRESULT GetTrialCount(std::uint64_t* pCount) = 0;
    // Value indices of `input`, ascending, that some completed trial holds
    // while every held input is at one of its held values.
    virtual HRESULT GetReachableValues(ULONG input, const std::vector<HeldValues>& held,
                                       std::vector<std::uint64_t>* pValues) = 0;
    // Completed trials whose held inputs are at held values.
    virtual HRESULT CountTrials(const std::vector<HeldValues>& held, std::uint64_t* pCount) = 0;
    // The value index of every input in the first such trial (by number);
    // S_FALSE and nothing when there is none.
    virtual HRESULT GetMatchingTrial(const std::vector<HeldValues>& held, std::vector<std::uint64_t>* pValues) = 0;
    // The slice: an ordinary data object in memory holding only these
    // trials. It follows the study (IOptimizationResultsLiveStudy): a refresh
    // runs the slice's query again from the lowest unfinished trial.
    virtual HRESULT GetSlice(const std::vector<HeldValues>& held, IUnknown** ppSlice) = 0;
};

// On the provider: the memory a load may take. A study whose estimate is
// larger is opened as above instead of being read.
struct IOptimizationResultsLoadBudget : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C67, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // 0: a quarter of the physical memory (the default).
    virtual HRESULT SetMemoryBudget(std::uint64_t bytes) = 0;
};

} // namespace IQX_VantixDataProvider
