#pragma once
// The thread's error object: a component that fails sets a description; the
// caller that asked reads it through ISupportErrorInfo and GetErrorInfo.
#include "platform/unknown.h"

#include <string>

namespace platform {

struct IErrorInfo : IUnknown {
    VANTIX_INTERFACE_ID(0x1CF2B120, 0x547D, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);
    virtual HRESULT GetGUID(GUID* pGuid) = 0;
    virtual HRESULT GetSource(std::wstring* pSource) = 0;
    virtual HRESULT GetDescription(std::wstring* pDescription) = 0;
};

struct ISupportErrorInfo : IUnknown {
    VANTIX_INTERFACE_ID(0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

// Replaces the thread's error object (null clears it).
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* pErrorInfo);
// Hands the thread's error object to the caller and clears it; S_FALSE and a
// null pointer when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** ppErrorInfo);
// Convenience for components: builds an error object and sets it.
void SetErrorDescription(const std::wstring& description, REFIID iid = GUID_NULL,
                         const std::wstring& source = {});

} // namespace platform
