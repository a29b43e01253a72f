#pragma once
// Optional addition to the data provider contract: read-only views of a loaded
// data object's columns (input value indices, the inputs' distinct values,
// function values),
// for callers that walk every record. A data object may lack it; callers then
// use the per-record getters of IOptimizationResultsDataSource and
// IOptimizationResultsDataSourceEx, which answer the same values.
//
// Lifetime: the arrays belong to the data object, never change, and stay valid
// while the caller holds a reference to it.
#include "ors_provider/IQX_VantixDataProvider.h"

#include <cstdint>

namespace IQX_VantixDataProvider {

struct IOptimizationResultsDataColumns : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C57, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // *ppIndices[r] is GetInputValueIndex(r, input) for every record r;
    // *pCount: the record count.
    virtual HRESULT GetInputValueIndexColumn(ULONG input, const std::uint32_t** ppIndices, ULONG* pCount) = 0;
    // (*ppValues)[k] is GetInputValueByIndex(k, input), ascending; *pCount:
    // the number of distinct values, which every value index is below. So
    // GetInputValue(r, input) is (*ppValues)[index column[r]].
    virtual HRESULT GetInputDistinctValues(ULONG input, const double** ppValues, ULONG* pCount) = 0;
    // *ppValues[r] is GetFunctionValue(r, function) for every record r;
    // *pCount: the record count.
    virtual HRESULT GetFunctionValueColumn(ULONG function, const double** ppValues, ULONG* pCount) = 0;
};

} // namespace IQX_VantixDataProvider
