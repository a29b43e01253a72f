#pragma once
// Counted interface pointer. A call through an empty pointer throws ComError
// with E_POINTER; taking an interface from another object throws ComError with
// the query's code unless it is E_NOINTERFACE, which leaves the pointer empty.
#include "platform/unknown.h"

#include <stdexcept>
#include <string>

namespace platform {

class ComError : public std::runtime_error {
public:
    explicit ComError(HRESULT hr);
    HRESULT Error() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

[[noreturn]] void ThrowComError(HRESULT hr);

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Adds a reference (same interface).
    ComPtr(T* p) noexcept : m_p(p) { if (m_p) m_p->AddRef(); }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    // Queries another interface of an object for T. IUnknown is always queried,
    // since only the object's own answer gives its identity.
    template <class U, class = std::enable_if_t<!std::is_same_v<U, T> &&
                                                (!std::is_convertible_v<U*, T*> || std::is_same_v<T, IUnknown>)>>
    explicit ComPtr(U* p) { QueryFrom(p); }
    template <class U, class = std::enable_if_t<!std::is_same_v<U, T> &&
                                                (!std::is_convertible_v<U*, T*> || std::is_same_v<T, IUnknown>)>>
    explicit ComPtr(const ComPtr<U>& p) { QueryFrom(p.Get()); }
    // Plain up-cast between interfaces of one object.
    template <class U, class = std::enable_if_t<!std::is_same_v<U, T> && std::is_convertible_v<U*, T*> &&
                                                !std::is_same_v<T, IUnknown>>,
              class = void>
    ComPtr(const ComPtr<U>& p) noexcept : ComPtr(static_cast<T*>(p.Get())) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& o) noexcept
    {
        ComPtr(o).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept
    {
        ComPtr(std::move(o)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p) noexcept
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept
    {
        Reset();
        return *this;
    }

    // Takes ownership of a reference the caller already holds.
    static ComPtr Attach(T* p) noexcept
    {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }

    void Reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    void Swap(ComPtr& o) noexcept { std::swap(m_p, o.m_p); }

    T* Get() const noexcept { return m_p; }
    T* operator->() const
    {
        if (!m_p)
            ThrowComError(E_POINTER);
        return m_p;
    }
    T& operator*() const
    {
        if (!m_p)
            ThrowComError(E_POINTER);
        return *m_p;
    }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    // For out parameters: releases the current pointer first.
    T** operator&() noexcept
    {
        Reset();
        return &m_p;
    }
    T** GetAddressOf() noexcept { return &m_p; }

    // Returns the query's code; throws nothing. The pointer is emptied first.
    template <class U>
    HRESULT TryQueryFrom(U* p)
    {
        Reset();
        if (!p)
            return E_POINTER;
        return p->QueryInterface(uuidof<T>(), reinterpret_cast<void**>(&m_p));
    }
    // Throws ComError unless the query succeeds or answers E_NOINTERFACE.
    template <class U>
    HRESULT QueryFrom(U* p)
    {
        if (!p) {
            Reset();
            return S_OK;
        }
        const HRESULT hr = TryQueryFrom(p);
        if (FAILED(hr) && hr != E_NOINTERFACE)
            ThrowComError(hr);
        return hr;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp) const
    {
        if (!m_p)
            ThrowComError(E_POINTER);
        return m_p->QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(pp));
    }
    // Hands out an added reference.
    template <class U = T, class = std::enable_if_t<std::is_convertible_v<T*, U*>>>
    HRESULT CopyTo(U** pp) const noexcept
    {
        if (!pp)
            return E_POINTER;
        *pp = m_p;
        if (m_p)
            m_p->AddRef();
        return S_OK;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.m_p == b.m_p; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.m_p == nullptr; }

private:
    T* m_p = nullptr;
};

// Creates a ComObject-derived implementation holding one reference.
template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args)
{
    T* p = new T(std::forward<Args>(args)...);
    p->AddRef();
    return ComPtr<T>::Attach(p);
}

} // namespace platform

using platform::ComError;
using platform::ComPtr;
