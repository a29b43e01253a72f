#include "EventReceiver.h"

#include "diagnostics/snagwise.h"
#include "platform/errorinfo.h"

#include <cwctype>

using platform::VT_BYREF;
using platform::VT_R8;
using platform::IConnectionPoint;

struct CEventReceiver::Connection {
    ComPtr<IUnknown> spSource;             // identity of the source
    ComPtr<__Impl__IChartEvents> spSink;   // present while advised
    std::uint32_t dwCookie = 0;
    bool bHooked[EVENT_COUNT] = {false, false};
    int nHooked = 0;
};

namespace {

ComPtr<IUnknown> Identity(IUnknown* p)
{
    ComPtr<IUnknown> sp;
    if (p)
        sp.TryQueryFrom(p);
    return sp;
}

ComPtr<IConnectionPoint> FindEventsPoint(IUnknown* pSource)
{
    ComPtr<platform::IConnectionPointContainer> spContainer;
    HRESULT hr = spContainer.TryQueryFrom(pSource);
    ComPtr<IConnectionPoint> spPoint;
    if (SUCCEEDED(hr))
        hr = spContainer->FindConnectionPoint(platform::uuidof<plot::IChartEvents>(), &spPoint);
    SW_ASSERT(SUCCEEDED(hr));
    if (FAILED(hr))
        spPoint = nullptr;
    return spPoint;
}

bool EqualsIgnoringCase(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::towlower(static_cast<std::wint_t>(*a)) != std::towlower(static_cast<std::wint_t>(*b)))
            return false;
    return *a == *b;
}

} // namespace

CEventReceiver::CEventReceiver(IReceive* pReceive) : m_pReceive(pReceive)
{
}

CEventReceiver::~CEventReceiver()
{
    for (auto& connection : m_Connections)
        Unadvise(*connection);
    m_Connections.clear();
}

CEventReceiver::Connection* CEventReceiver::Find(IUnknown* pSource) const
{
    const ComPtr<IUnknown> spIdentity = Identity(pSource);
    if (!spIdentity)
        return nullptr;
    for (const auto& connection : m_Connections)
        if (connection->spSource == spIdentity)
            return connection.get();
    return nullptr;
}

void CEventReceiver::Hook(int nEvent, IUnknown* pSource)
{
    if (nEvent < 0 || nEvent >= EVENT_COUNT || !pSource)
        return;
    Connection* pConnection = Find(pSource);
    if (!pConnection) {
        auto created = std::make_unique<Connection>();
        created->spSource = Identity(pSource);
        if (!created->spSource)
            return;
        pConnection = created.get();
        m_Connections.push_back(std::move(created));
    }
    if (!pConnection->bHooked[nEvent]) {
        pConnection->bHooked[nEvent] = true;
        ++pConnection->nHooked;
    }
    if (!pConnection->spSink)
        Advise(*pConnection);
}

void CEventReceiver::Unhook(int nEvent, IUnknown* pSource)
{
    if (nEvent < 0 || nEvent >= EVENT_COUNT)
        return;
    Connection* pConnection = Find(pSource);
    if (!pConnection || !pConnection->bHooked[nEvent])
        return;
    pConnection->bHooked[nEvent] = false;
    if (--pConnection->nHooked > 0)
        return;
    Unadvise(*pConnection);
    for (auto it = m_Connections.begin(); it != m_Connections.end(); ++it) {
        if (it->get() == pConnection) {
            m_Connections.erase(it);
            break;
        }
    }
}

bool CEventReceiver::IsHooked(int nEvent, IUnknown* pSource) const
{
    const Connection* pConnection = Find(pSource);
    return pConnection && nEvent >= 0 && nEvent < EVENT_COUNT && pConnection->bHooked[nEvent];
}

bool CEventReceiver::IsAdvised(IUnknown* pSource) const
{
    const Connection* pConnection = Find(pSource);
    return pConnection && pConnection->spSink;
}

void CEventReceiver::Advise(Connection& connection)
{
    const ComPtr<IConnectionPoint> spPoint = FindEventsPoint(connection.spSource.Get());
    if (!spPoint)
        return;
    auto spSink = platform::MakeCom<__Impl__IChartEvents>(this, &connection);
    std::uint32_t dwCookie = 0;
    const HRESULT hr = spPoint->Advise(static_cast<plot::IChartEvents*>(spSink.Get()), &dwCookie);
    SW_ASSERT(SUCCEEDED(hr));
    if (FAILED(hr)) {
        spSink->Disconnect();
        return;
    }
    connection.spSink = std::move(spSink);
    connection.dwCookie = dwCookie;
}

void CEventReceiver::Unadvise(Connection& connection)
{
    if (!connection.spSink)
        return;
    // Whatever the source answers, the sink stops forwarding from here on.
    connection.spSink->Disconnect();
    if (const ComPtr<IConnectionPoint> spPoint = FindEventsPoint(connection.spSource.Get())) {
        const HRESULT hr = spPoint->Unadvise(connection.dwCookie);
        SW_ASSERT(SUCCEEDED(hr));
    }
    connection.dwCookie = 0;
    connection.spSink = nullptr;
}

HRESULT CEventReceiver::CallHandler(int nSlot, double* pX, double* pY, double* pZ)
{
    if (!m_pReceive)
        return S_OK;
    if (EVENT_SELECT_POINT == nSlot)
        m_pReceive->OnSelectPoint(pX, pY, pZ);
    else
        m_pReceive->OnClearPoint();
    return S_OK;
}

// --- __Impl__IChartEvents -------------------------------------------------------

bool CEventReceiver::__Impl__IChartEvents::QueryExtra(REFIID riid, void** ppv)
{
    if (riid == platform::uuidof<IDispatch>()) {
        *ppv = static_cast<IDispatch*>(this);
        return true;
    }
    return false;
}

// No type library is shipped: the events are bound by DISPID.
HRESULT CEventReceiver::__Impl__IChartEvents::GetTypeInfoCount(std::uint32_t* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT CEventReceiver::__Impl__IChartEvents::GetTypeInfo(std::uint32_t iTInfo, LCID, platform::ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0)
        return DISP_E_BADINDEX;
    return E_NOTIMPL;
}

HRESULT CEventReceiver::__Impl__IChartEvents::GetIDsOfNames(REFIID, const wchar_t* const* rgszNames,
                                                            std::uint32_t cNames, LCID, DISPID* rgDispId)
{
    if (cNames == 0)
        return S_OK;
    if (!rgszNames || !rgDispId)
        return E_POINTER;
    struct Name {
        const wchar_t* text;
        DISPID id;
    };
    static constexpr Name kNames[] = {
        {L"pX", 0}, {L"pY", 1}, {L"pZ", 2}, {L"SelectPoint", plot::DISPID_SelectPoint},
        {L"ClearPoint", plot::DISPID_ClearPoint},
    };
    HRESULT hr = S_OK;
    for (std::uint32_t n = 0; n < cNames; ++n) {
        rgDispId[n] = platform::DISPID_UNKNOWN;
        for (const Name& name : kNames) {
            if (rgszNames[n] && EqualsIgnoringCase(rgszNames[n], name.text)) {
                rgDispId[n] = name.id;
                break;
            }
        }
        if (platform::DISPID_UNKNOWN == rgDispId[n])
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT CEventReceiver::__Impl__IChartEvents::Invoke(DISPID dispIdMember, REFIID, LCID, std::uint16_t,
                                                     DISPPARAMS* pDispParams, VARIANT*, EXCEPINFO* pExcepInfo,
                                                     std::uint32_t* puArgErr)
{
    constexpr std::uint32_t kMaxArgs = 3;
    if (!pDispParams)
        return DISP_E_BADVARTYPE;
    const std::uint32_t cArgs = pDispParams->cArgs;
    const std::uint32_t cNamed = pDispParams->cNamedArgs;
    if (cArgs > kMaxArgs)
        return DISP_E_BADPARAMCOUNT;
    // A malformed block (arguments without storage, more names than arguments) is no parameter block.
    if ((cArgs > 0 && !pDispParams->rgvarg) || cNamed > cArgs || (cNamed > 0 && !pDispParams->rgdispidNamedArgs))
        return DISP_E_BADVARTYPE;

    // Place the arguments by parameter position: positional ones come last and
    // reversed, named ones first and carry their DISPID.
    const VARIANT* args[kMaxArgs] = {nullptr, nullptr, nullptr};
    const std::uint32_t cPositional = cArgs - cNamed;
    for (std::uint32_t k = 0; k < cPositional; ++k)
        args[k] = &pDispParams->rgvarg[cArgs - 1 - k];
    for (std::uint32_t n = 0; n < cNamed; ++n) {
        const DISPID id = pDispParams->rgdispidNamedArgs[n];
        if (id < 0 || static_cast<std::uint32_t>(id) >= cArgs) {
            if (puArgErr)
                *puArgErr = n;
            return DISP_E_PARAMNOTFOUND;
        }
        args[id] = &pDispParams->rgvarg[n];
    }

    int nSlot = 0;
    VARIANT converted[kMaxArgs];
    switch (dispIdMember) {
    case plot::DISPID_SelectPoint: {
        if (cArgs != 3)
            return DISP_E_BADPARAMCOUNT;
        for (std::uint32_t k = 0; k < 3; ++k) {
            const HRESULT hr =
                args[k] ? platform::VariantChangeType(&converted[k], args[k], 0, VT_R8 | VT_BYREF) : DISP_E_TYPEMISMATCH;
            if (FAILED(hr)) {
                if (puArgErr)
                    *puArgErr = 2 - k;
                return DISP_E_TYPEMISMATCH;
            }
        }
        nSlot = EVENT_SELECT_POINT;
        break;
    }
    case plot::DISPID_ClearPoint:
        if (cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        nSlot = EVENT_CLEAR_POINT;
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }

    if (!m_pReceiver || !m_pConnection || !m_pConnection->bHooked[nSlot])
        return S_FALSE;
    const HRESULT hr = EVENT_SELECT_POINT == nSlot
                           ? m_pReceiver->CallHandler(nSlot, converted[0].pdblVal, converted[1].pdblVal,
                                                      converted[2].pdblVal)
                           : m_pReceiver->CallHandler(nSlot, nullptr, nullptr, nullptr);
    if (FAILED(hr)) {
        if (pExcepInfo) {
            pExcepInfo->scode = hr;
            ComPtr<platform::IErrorInfo> spError;
            if (platform::GetErrorInfo(0, &spError) == S_OK && spError) {
                spError->GetSource(&pExcepInfo->bstrSource);
                spError->GetDescription(&pExcepInfo->bstrDescription);
            }
        }
        return DISP_E_EXCEPTION;
    }
    return hr;
}
