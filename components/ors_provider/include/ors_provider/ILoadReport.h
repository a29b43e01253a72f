#pragma once
// Optional addition to the data provider contract: what a load left out of
// the data object it handed back. A data object may lack it; callers then
// have nothing to report.
#include "ors_provider/IQX_VantixDataProvider.h"

namespace IQX_VantixDataProvider {

struct IOptimizationResultsLoadReport : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C62, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // Rows or trials of the file left out as failed evaluations: a function
    // value of nan, an infinity or "fail" in a table, a FAIL trial of an
    // Optuna study. 0 for an .ors file, which holds its records alone. The
    // count saturates at ULONG's maximum.
    virtual HRESULT GetSkippedRecordCount(ULONG* pCount) = 0;
};

} // namespace IQX_VantixDataProvider
