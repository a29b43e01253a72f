#pragma once
// The COM-style object model: reference counting and interface queries.
#include "platform/guid.h"
#include "platform/hresult.h"

#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

namespace platform {

struct IUnknown {
    VANTIX_INTERFACE_ID(0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

namespace detail {
template <class I>
bool queryOne(REFIID riid, I* self, void** ppv)
{
    if (riid == uuidof<I>()) {
        *ppv = self;
        return true;
    }
    return false;
}
} // namespace detail

// Reference counting and QueryInterface for an object implementing the listed
// interfaces. The first interface answers for IUnknown. An interface deriving
// from another (IDispatch from IUnknown) answers for its base through
// QueryExtra, which a class overrides when it has more to offer.
template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == uuidof<IUnknown>()) {
            *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
        } else if (!(detail::queryOne<Interfaces>(riid, static_cast<Interfaces*>(this), ppv) || ...)) {
            if (!QueryExtra(riid, ppv))
                return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override
    {
        const ULONG n = --m_cRef;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    virtual ~ComObject() = default;
    // Set *ppv (without AddRef) and return true to answer a further interface.
    virtual bool QueryExtra(REFIID, void**) { return false; }
    ULONG RefCount() const { return m_cRef.load(); }

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<ULONG> m_cRef{0};
};

} // namespace platform

// Windows-style names used throughout the program.
using platform::CLSID;
using platform::GUID;
using platform::IID;
using platform::IUnknown;
using platform::REFCLSID;
using platform::REFIID;
