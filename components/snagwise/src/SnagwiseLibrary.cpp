// The diagnostics library: accepts every command, writes every record it is
// handed as one JSON line, and answers assertions with the configured verdict.
// Nothing escapes into the client: no exception, no change of errno.
#include "JsonLog.h"

#include "diagnostics/IDebugObject.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <new>

namespace snagwise {

namespace {

using IQX_SnagwiseUtil::IDebugObject;

class ErrnoGuard {
public:
    ErrnoGuard() noexcept : m_nSaved(errno) {}
    ~ErrnoGuard() { errno = m_nSaved; }

private:
    int m_nSaved;
};

// Runs f; any exception becomes an error code.
template <class F>
HRESULT Guarded(F&& f) noexcept
{
    ErrnoGuard keep;
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// A named-value bag. Writing a key again replaces its value in place.
class CDebugRecord final : public IQX_SnagwiseUtil::DebugObjectBase {
public:
    HRESULT SecondaryInit(const wchar_t*, const wchar_t*, std::int32_t) override { return E_NOTIMPL; }
    HRESULT Command(IDebugObject**, const wchar_t*) override { return E_NOTIMPL; }

    HRESULT GetValue(const wchar_t* name, VARIANT* value) override
    {
        return Guarded([&]() -> HRESULT {
            if (!name || !value)
                return E_POINTER;
            std::lock_guard g(m_lock);
            for (const auto& [key, v] : m_values)
                if (key == name) {
                    *value = v;
                    return S_OK;
                }
            return DISP_E_UNKNOWNNAME;
        });
    }

    HRESULT SetValue(const wchar_t* name, VARIANT value) override
    {
        return Guarded([&]() -> HRESULT {
            if (!name)
                return E_POINTER;
            std::lock_guard g(m_lock);
            for (auto& [key, v] : m_values)
                if (key == name) {
                    v = std::move(value);
                    return S_OK;
                }
            m_values.emplace_back(name, std::move(value));
            return S_OK;
        });
    }

    Values Snapshot() const
    {
        std::lock_guard g(m_lock);
        return m_values;
    }
    std::wstring String(const wchar_t* name) const
    {
        std::lock_guard g(m_lock);
        for (const auto& [key, v] : m_values)
            if (key == name && v.vt == platform::VT_BSTR)
                return v.bstrVal;
        return {};
    }

private:
    mutable std::mutex m_lock;
    Values m_values;
};

class CDebugLibrary final : public IQX_SnagwiseUtil::DebugObjectBase {
public:
    CDebugLibrary() : m_settings(ReadSettings()), m_log(m_settings.logDirectory, m_settings.maxLogBytes, m_settings.keptLogs) {}

    HRESULT SecondaryInit(const wchar_t* text1, const wchar_t* text2, std::int32_t flag) override
    {
        return Guarded([&]() -> HRESULT {
            Values v;
            v.emplace_back(L"text1", VARIANT::Bstr(text1 ? text1 : L""));
            v.emplace_back(L"text2", VARIANT::Bstr(text2 ? text2 : L""));
            v.emplace_back(L"flag", VARIANT::Int(flag));
            m_log.Append(FormatLine(L"SECONDARYINIT", &v));
            return S_OK;
        });
    }

    HRESULT Command(IDebugObject** record, const wchar_t* command) override
    {
        return Guarded([&]() -> HRESULT {
            const std::wstring name = command ? command : L"";
            if (name == L"CREATE") {
                if (!record)
                    return E_POINTER;
                auto* created = new CDebugRecord;
                created->AddRef();
                *record = created;
                return S_OK;
            }
            // Only records this library made are read.
            CDebugRecord* bag = nullptr;
            if (record && *record) {
                IDebugObject* p = *record;
                bag = dynamic_cast<CDebugRecord*>(p);
            }
            if (name == L"FILTER")
                return S_OK; // every assertion goes on to PROCESS, where it is written
            Values values;
            if (bag)
                values = bag->Snapshot();
            if (name == L"INIT" && bag) {
                if (const std::wstring dir = bag->String(L"LogDirectory"); !dir.empty())
                    m_log.SetDirectory(ToUtf8(dir));
            }
            m_log.Append(FormatLine(name, bag ? &values : nullptr));
            if (name == L"PROCESS" && bag && bag->String(L"$Type") == L"ASSERT")
                return m_settings.assertVerdict;
            return S_OK;
        });
    }

    HRESULT GetValue(const wchar_t*, VARIANT*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT SetValue(const wchar_t*, VARIANT) override { return E_NOTIMPL; }

private:
    Settings m_settings;
    CJsonLog m_log;
};

} // namespace

} // namespace snagwise

extern "C" __attribute__((visibility("default"))) HRESULT SW_InitObject(IQX_SnagwiseUtil::IDebugObject** ppObject)
{
    return snagwise::Guarded([&]() -> HRESULT {
        if (!ppObject)
            return E_POINTER;
        *ppObject = nullptr;
        auto* library = new snagwise::CDebugLibrary;
        library->AddRef();
        *ppObject = library;
        return S_OK;
    });
}
