#pragma once
// Optional addition to the data provider contract: a data object read from an
// optimizer's study (a database URL or a study storage file) can read the
// study again while it runs. Other data objects lack it.
#include "ors_provider/IQX_VantixDataProvider.h"

namespace IQX_VantixDataProvider {

struct IOptimizationResultsLiveStudy : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C65, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // Reads the study again where it may have changed. S_OK and *ppNewer: a
    // new data object with every finished trial, which can refresh in turn;
    // S_FALSE and null when no trial finished since the last read of this
    // study. This object never changes. On failure (the server gone) the
    // error object says why, and a later call connects again. Objects of one
    // study share their link: calls are serialised, from any thread.
    virtual HRESULT Refresh(IUnknown** ppNewer) = 0;
    // Trials of the study seen at the last read, in any state (running too).
    virtual HRESULT GetTrialCount(ULONG* pCount) = 0;
};

} // namespace IQX_VantixDataProvider
