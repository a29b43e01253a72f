#pragma once
// Optional progress reporting of the data provider's Load. A provider that
// offers it answers QueryInterface for IOptimizationResultsLoadProgress on its
// root object; callers that never set a sink see Load exactly as before.
#include "platform/unknown.h"

#include <cstdint>

namespace IQX_VantixDataProvider {

struct ILoadProgressSink : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C60, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // Called only on the thread that called Load, while Load runs: first with
    // done = 0, then with done never decreasing, last with done = total. total
    // is the same in every call of one load. Calls come a few per percent or
    // every few tens of milliseconds, never per record, so the caller may
    // process window events here. Any failure code cancels the load: Load then
    // fails with E_ABORT and the error text "Loading was cancelled.".
    virtual HRESULT OnProgress(std::uint64_t done, std::uint64_t total) = 0;
};

struct IOptimizationResultsLoadProgress : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C61, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // The sink of the following loads, held until replaced; null stops
    // reporting. The provider never calls it outside Load.
    virtual HRESULT SetProgressSink(ILoadProgressSink* pSink) = 0;
};

} // namespace IQX_VantixDataProvider
