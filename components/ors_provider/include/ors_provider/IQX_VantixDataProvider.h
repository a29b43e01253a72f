#pragma once
// Contract between Vantix and the data provider component that reads and
// writes optimization results. Inputs, functions and records are numbered from
// 0. Texts are returned through std::wstring out parameters owned by the caller.
#include "platform/unknown.h"

#include <cstdint>
#include <string>

namespace IQX_VantixDataProvider {

// Class id of the provider component: create it, then query the provider interface.
inline constexpr CLSID CLSID_OptimizationResultsDataProvider{
    0x6B1D3C52, 0x8E0A, 0x4F7B, {0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4}};

struct IOptimizationResultsDataProvider : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C53, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // On failure the thread's error object (offered through ISupportErrorInfo
    // for this interface) describes the fault in words a user understands.
    virtual HRESULT Load(const std::wstring& path, IUnknown** ppData) = 0;
};

struct IOptimizationResultsDataSource : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C54, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    virtual HRESULT GetInputCount(ULONG* pCount) = 0;
    virtual HRESULT GetFunctionCount(ULONG* pCount) = 0;
    virtual HRESULT GetInputName(ULONG input, std::wstring* pName) = 0;
    virtual HRESULT GetFunctionName(ULONG function, std::wstring* pName) = 0;
    virtual HRESULT GetRecordCount(ULONG* pCount) = 0;
    virtual HRESULT GetInputValue(ULONG record, ULONG input, double* pValue) = 0;
    virtual HRESULT GetFunctionValue(ULONG record, ULONG function, double* pValue) = 0;
    // 0 or 1: plotted as a surface; 2: as 3-D points; anything else is unknown.
    virtual HRESULT GetDataType(LONG* pType) = 0;
    virtual HRESULT GetSignalName(ULONG input, std::wstring* pName) = 0;
};

struct IOptimizationResultsDataSourceEx : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C55, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // Ordinal of the record's value among the input's distinct values, 0 .. n-1
    // ascending; equal indices mean equal values.
    virtual HRESULT GetInputValueIndex(ULONG record, ULONG input, std::uint64_t* pIndex) = 0;
    virtual HRESULT GetInputValueByIndex(std::uint64_t index, ULONG input, double* pValue) = 0;
};

struct IOptimizationResultsDataSaver : IUnknown {
    VANTIX_INTERFACE_ID(0x6B1D3C56, 0x8E0A, 0x4F7B, 0x9A, 0x41, 0x2C, 0x5E, 0x7D, 0x10, 0x93, 0xB4);
    // S_OK exactly when the file was written.
    virtual HRESULT Save(const std::wstring& path) = 0;
};

} // namespace IQX_VantixDataProvider
