#pragma once
// Sink for the chart control's picking events. Each event source gets one
// connection with its own dispatch object, advised while at least one of the
// two events is hooked on it.
#include "IReceive.h"

#include "platform/comptr.h"
#include "platform/dispatch.h"
#include "plot_control/IPlotControl.h"

#include <cstdint>
#include <memory>
#include <vector>

class CEventReceiver {
public:
    // Handler slots, one per event of IChartEvents.
    enum {
        EVENT_SELECT_POINT = 0, // "SelectPoint"
        EVENT_CLEAR_POINT = 1,  // "ClearPoint"
        EVENT_COUNT = 2,
    };

    class __Impl__IChartEvents;

    explicit CEventReceiver(IReceive* pReceive);
    CEventReceiver(const CEventReceiver&) = delete;
    CEventReceiver& operator=(const CEventReceiver&) = delete;
    // Ends every subscription first, so no event can reach a destroyed owner.
    ~CEventReceiver();

    // Hooking a hooked event, or unhooking one that is not, changes nothing.
    void Hook(int nEvent, IUnknown* pSource);
    void Unhook(int nEvent, IUnknown* pSource);

    bool IsHooked(int nEvent, IUnknown* pSource) const;
    bool IsAdvised(IUnknown* pSource) const;

private:
    struct Connection;

    Connection* Find(IUnknown* pSource) const;
    void Advise(Connection& connection);
    void Unadvise(Connection& connection);
    HRESULT CallHandler(int nSlot, double* pX, double* pY, double* pZ);

    IReceive* m_pReceive; // not owned
    std::vector<std::unique_ptr<Connection>> m_Connections;
};

// The dispatch object advised to a source: checks each call and forwards the
// accepted ones to the receiver's hooked handlers.
class CEventReceiver::__Impl__IChartEvents final : public platform::ComObject<plot::IChartEvents> {
public:
    __Impl__IChartEvents(CEventReceiver* pReceiver, const Connection* pConnection)
        : m_pReceiver(pReceiver), m_pConnection(pConnection)
    {
    }

    // After this the object answers every call with S_FALSE.
    void Disconnect() noexcept
    {
        m_pReceiver = nullptr;
        m_pConnection = nullptr;
    }

    HRESULT GetTypeInfoCount(std::uint32_t* pctinfo) override;
    HRESULT GetTypeInfo(std::uint32_t iTInfo, LCID lcid, platform::ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, const wchar_t* const* rgszNames, std::uint32_t cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, std::uint16_t wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, std::uint32_t* puArgErr) override;

protected:
    bool QueryExtra(REFIID riid, void** ppv) override;

private:
    CEventReceiver* m_pReceiver;       // not owned; null once disconnected
    const Connection* m_pConnection;   // not owned; null once disconnected
};
