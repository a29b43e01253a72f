#include "platform/comptr.h"
#include "platform/dispatch.h"

#include <cmath>
#include <limits>
#include <string>

namespace platform {

namespace {

bool numericValue(const VARIANT& v, double* out)
{
    switch (v.vt) {
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I1: *out = v.lVal; return true;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT: *out = v.ulVal; return true;
    case VT_I8: *out = static_cast<double>(v.llVal); return true;
    case VT_UI8: *out = static_cast<double>(v.ullVal); return true;
    case VT_R4: *out = v.fltVal; return true;
    case VT_R8: *out = v.dblVal; return true;
    case VT_BOOL: *out = v.boolVal ? -1.0 : 0.0; return true;
    case VT_ERROR: *out = v.scode; return true;
    default: return false;
    }
}

template <class T>
bool fits(double d)
{
    return std::isfinite(d) && d >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
           d <= static_cast<double>(std::numeric_limits<T>::max());
}

} // namespace

HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, std::uint16_t, VARTYPE vt)
{
    if (!dst || !src)
        return E_POINTER;
    if (vt == (VT_R8 | VT_BYREF)) {
        if (src->vt == (VT_R8 | VT_BYREF)) {
            *dst = *src;
            return S_OK;
        }
        if (src->vt == (VT_VARIANT | VT_BYREF) && src->pvarVal && src->pvarVal->vt == VT_R8) {
            *dst = VARIANT::R8Ref(&src->pvarVal->dblVal);
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    }
    if (vt & VT_BYREF)
        return DISP_E_TYPEMISMATCH;
    if (vt == src->vt) {
        *dst = *src;
        return S_OK;
    }
    double d = 0;
    if (!numericValue(*src, &d))
        return DISP_E_TYPEMISMATCH;
    VARIANT r;
    r.vt = vt;
    switch (vt) {
    case VT_R8: r.dblVal = d; break;
    case VT_R4: r.fltVal = static_cast<float>(d); break;
    case VT_I4:
    case VT_INT:
        if (!fits<std::int32_t>(d)) return DISP_E_OVERFLOW;
        r.lVal = static_cast<std::int32_t>(std::lround(d));
        break;
    case VT_UI4:
        if (!fits<std::uint32_t>(d)) return DISP_E_OVERFLOW;
        r.ulVal = static_cast<std::uint32_t>(std::llround(d));
        break;
    case VT_BOOL: r.boolVal = d != 0; break;
    case VT_BSTR: {
        r.ullVal = 0;
        std::wstring s = std::to_wstring(d);
        r.bstrVal = s;
        break;
    }
    default: return DISP_E_TYPEMISMATCH;
    }
    *dst = r;
    return S_OK;
}

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid)
    : m_container(container), m_iid(iid)
{
}

ConnectionPoint::~ConnectionPoint()
{
    for (auto& s : m_sinks)
        s.sink->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID)
{
    if (!pIID)
        return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, std::uint32_t* pdwCookie)
{
    if (!pUnkSink || !pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    IDispatch* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(&sink))) || !sink)
        return CONNECT_E_CANNOTCONNECT;
    *pdwCookie = m_nextCookie++;
    m_sinks.push_back({*pdwCookie, sink});
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(std::uint32_t dwCookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->cookie == dwCookie) {
            IDispatch* sink = it->sink;
            m_sinks.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

void ConnectionPoint::Fire(DISPID dispid, std::vector<VARIANT>& argsReversed)
{
    // Copy first: a sink may unadvise itself (or others) while handling the call.
    std::vector<ComPtr<IDispatch>> sinks;
    sinks.reserve(m_sinks.size());
    for (auto& s : m_sinks)
        sinks.emplace_back(s.sink);
    for (auto& sink : sinks) {
        DISPPARAMS params;
        params.rgvarg = argsReversed.empty() ? nullptr : argsReversed.data();
        params.cArgs = static_cast<std::uint32_t>(argsReversed.size());
        EXCEPINFO info;
        std::uint32_t argErr = 0;
        sink->Invoke(dispid, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, &argErr);
    }
}

} // namespace platform
