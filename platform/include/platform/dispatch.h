#pragma once
// A small late-bound call interface: enough for event sinks and for the
// diagnostics library's named-value records.
#include "platform/unknown.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000,
};

struct IDispatch;

// Value holder. Numbers live in the union; a string in bstrVal (VT_BSTR);
// pointers for VT_BYREF forms point at caller storage.
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        std::int32_t lVal;
        std::uint32_t ulVal;
        std::int32_t intVal;
        std::int64_t llVal;
        std::uint64_t ullVal;
        float fltVal;
        double dblVal;
        bool boolVal;
        HRESULT scode;
        IUnknown* punkVal;
        double* pdblVal;
        std::int32_t* plVal;
        VARIANT* pvarVal;
    };
    std::wstring bstrVal;

    VARIANT() : ullVal(0) {}
    static VARIANT Empty() { return {}; }
    static VARIANT R8(double v) { VARIANT r; r.vt = VT_R8; r.dblVal = v; return r; }
    static VARIANT R8Ref(double* p) { VARIANT r; r.vt = VT_R8 | VT_BYREF; r.pdblVal = p; return r; }
    static VARIANT I4(std::int32_t v) { VARIANT r; r.vt = VT_I4; r.lVal = v; return r; }
    static VARIANT UI4(std::uint32_t v) { VARIANT r; r.vt = VT_UI4; r.ulVal = v; return r; }
    static VARIANT Int(std::int32_t v) { VARIANT r; r.vt = VT_INT; r.intVal = v; return r; }
    static VARIANT Bool(bool v) { VARIANT r; r.vt = VT_BOOL; r.boolVal = v; return r; }
    static VARIANT Bstr(std::wstring s) { VARIANT r; r.vt = VT_BSTR; r.bstrVal = std::move(s); return r; }
};

// Converts src into dst of type vt. Supported: the numeric types among each
// other, VT_BSTR from numbers, and VT_R8|VT_BYREF from VT_R8|VT_BYREF or from
// VT_VARIANT|VT_BYREF pointing at a VT_R8 (the pointer is passed through so the
// callee can write to it). DISP_E_TYPEMISMATCH otherwise.
HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, std::uint16_t flags, VARTYPE vt);

struct DISPPARAMS {
    VARIANT* rgvarg = nullptr;          // arguments in reverse order
    DISPID* rgdispidNamedArgs = nullptr;
    std::uint32_t cArgs = 0;
    std::uint32_t cNamedArgs = 0;
};

struct EXCEPINFO {
    std::uint16_t wCode = 0;
    std::wstring bstrSource;
    std::wstring bstrDescription;
    HRESULT scode = S_OK;
};

inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr DISPID DISPID_UNKNOWN = -1;

// Type information is opaque here; only its presence is observable.
struct ITypeInfo : IUnknown {
    VANTIX_INTERFACE_ID(0x00020401, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
};

struct IDispatch : IUnknown {
    VANTIX_INTERFACE_ID(0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
    virtual HRESULT GetTypeInfoCount(std::uint32_t* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, const wchar_t* const* rgszNames, std::uint32_t cNames,
                                  LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, std::uint16_t wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           std::uint32_t* puArgErr) = 0;
};

struct IConnectionPoint;

struct IConnectionPointContainer : IUnknown {
    VANTIX_INTERFACE_ID(0xB196B284, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};

struct IConnectionPoint : IUnknown {
    VANTIX_INTERFACE_ID(0xB196B286, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, std::uint32_t* pdwCookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t dwCookie) = 0;
};

// A connection point for one outgoing dispatch interface. Sinks are queried for
// that interface on Advise; cookies start at 1 and are never reused.
class ConnectionPoint final : public ComObject<IConnectionPoint> {
public:
    ConnectionPoint(IConnectionPointContainer* container, REFIID iid);

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT Advise(IUnknown* pUnkSink, std::uint32_t* pdwCookie) override;
    HRESULT Unadvise(std::uint32_t dwCookie) override;

    // Calls every advised sink with the same arguments; sinks advised or
    // unadvised during the call take effect for the next one.
    void Fire(DISPID dispid, std::vector<VARIANT>& argsReversed);
    std::size_t SinkCount() const { return m_sinks.size(); }

private:
    struct Sink {
        std::uint32_t cookie;
        IDispatch* sink; // one reference held
    };
    ~ConnectionPoint() override;
    IConnectionPointContainer* m_container; // owner, not counted
    IID m_iid;
    std::vector<Sink> m_sinks;
    std::uint32_t m_nextCookie = 1;
};

} // namespace platform

using platform::DISPPARAMS;
using platform::EXCEPINFO;
using platform::IDispatch;
using platform::VARIANT;
