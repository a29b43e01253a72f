#include "support/FakeSnagwise.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace vantix::test {

using IQX_SnagwiseUtil::IDebugObject;

struct FakeSnagwise::Data {
    mutable std::mutex lock;
    std::map<std::wstring, HRESULT> results{{L"SecondaryInit", E_FAIL}};
    std::function<void(const std::wstring&)> onCommand;
    Seen seen;

    // Counts a call and gives its answer; the caller holds the lock.
    HRESULT Answer(const std::wstring& what)
    {
        ++seen.calls[what];
        const auto it = results.find(what);
        return it == results.end() ? S_OK : it->second;
    }
};

namespace {

class FakeObject final : public IQX_SnagwiseUtil::DebugObjectBase {
public:
    // index < 0: the library's main object; otherwise record number index.
    FakeObject(std::shared_ptr<FakeSnagwise::Data> data, int index) : m_pData(std::move(data)), m_nIndex(index) {}

    HRESULT SecondaryInit(const wchar_t*, const wchar_t*, std::int32_t) override
    {
        std::lock_guard g(m_pData->lock);
        return m_pData->Answer(L"SecondaryInit");
    }

    HRESULT Command(IDebugObject** record, const wchar_t* command) override
    {
        const std::wstring name = command ? command : L"";
        std::unique_lock g(m_pData->lock);
        if (const auto callback = m_pData->onCommand) {
            g.unlock(); // the callback may look at the fake
            callback(name);
            g.lock();
        }
        const HRESULT answer = m_pData->Answer(name);
        m_pData->seen.commands.push_back(name);
        auto& records = m_pData->seen.records;
        if (name == L"CREATE") {
            if (answer == S_OK && record) {
                records.push_back({{}, {name}});
                *record = new FakeObject(m_pData, static_cast<int>(records.size()) - 1);
                (*record)->AddRef();
            }
        } else if (record && *record && static_cast<FakeObject*>(*record)->m_nIndex >= 0) {
            records[static_cast<FakeObject*>(*record)->m_nIndex].commands.push_back(name);
        }
        return answer;
    }

    HRESULT GetValue(const wchar_t* name, VARIANT* value) override
    {
        if (!name || !value)
            return E_POINTER;
        std::lock_guard g(m_pData->lock);
        if (m_nIndex < 0)
            return DISP_E_UNKNOWNNAME;
        const auto& writes = m_pData->seen.records[m_nIndex].writes;
        const auto it = std::find_if(writes.rbegin(), writes.rend(), [&](const auto& w) { return w.first == name; });
        if (it == writes.rend())
            return DISP_E_UNKNOWNNAME;
        *value = it->second;
        return S_OK;
    }

    HRESULT SetValue(const wchar_t* name, VARIANT value) override
    {
        if (!name)
            return E_POINTER;
        std::lock_guard g(m_pData->lock);
        if (m_nIndex < 0)
            return E_INVALIDARG;
        m_pData->seen.records[m_nIndex].writes.emplace_back(name, std::move(value));
        return S_OK;
    }

private:
    std::shared_ptr<FakeSnagwise::Data> m_pData;
    int m_nIndex;
};

std::wstring Typed(const VARIANT& v)
{
    switch (v.vt) {
    case platform::VT_EMPTY: return L"";
    case platform::VT_BSTR: return L"=" + v.bstrVal;
    case platform::VT_BOOL: return v.boolVal ? L"=bool:true" : L"=bool:false";
    case platform::VT_I4: return L"=i4:" + std::to_wstring(v.lVal);
    case platform::VT_INT: return L"=int:" + std::to_wstring(v.intVal);
    case platform::VT_UI4: return L"=ui4:" + std::to_wstring(v.ulVal);
    case platform::VT_UI8: return L"=ui8:" + std::to_wstring(v.ullVal);
    default: return L"=vt" + std::to_wstring(v.vt);
    }
}

} // namespace

std::vector<std::wstring> FakeRecord::Keys() const
{
    std::vector<std::wstring> keys;
    for (const auto& w : writes)
        keys.push_back(w.first);
    return keys;
}

std::vector<std::wstring> FakeRecord::Values() const
{
    std::vector<std::wstring> values;
    for (const auto& [key, value] : writes)
        values.push_back(key + Typed(value));
    return values;
}

const VARIANT* FakeRecord::Find(const std::wstring& key) const
{
    const auto it = std::find_if(writes.begin(), writes.end(), [&](const auto& w) { return w.first == key; });
    return it == writes.end() ? nullptr : &it->second;
}

std::wstring FakeRecord::String(const std::wstring& key) const
{
    const VARIANT* v = Find(key);
    return v && v->vt == platform::VT_BSTR ? v->bstrVal : std::wstring();
}

FakeSnagwise::FakeSnagwise() : m_pData(std::make_shared<Data>())
{
    auto& hooks = SnagwiseUtil::ClientHooksForTesting();
    m_previousHooks = hooks;
    ResetClient();
    std::weak_ptr<Data> weak = m_pData;
    hooks.createObject = [weak](IDebugObject** pp) -> HRESULT {
        auto data = weak.lock();
        if (!data)
            return E_FAIL;
        std::lock_guard g(data->lock);
        const HRESULT hr = data->Answer(L"SW_InitObject");
        if (hr == S_OK) {
            *pp = new FakeObject(data, -1);
            (*pp)->AddRef();
        }
        return hr;
    };
    const auto counter = [weak](const wchar_t* what) {
        return [weak, what] {
            if (auto data = weak.lock()) {
                std::lock_guard g(data->lock);
                ++data->seen.calls[what];
            }
        };
    };
    hooks.failureBox = counter(L"failureBox");
    hooks.debugBreak = counter(L"debugBreak");
}

FakeSnagwise::~FakeSnagwise()
{
    ResetClient();
    SnagwiseUtil::ClientHooksForTesting() = m_previousHooks;
}

void FakeSnagwise::SetResult(const std::wstring& command, HRESULT hr)
{
    std::lock_guard g(m_pData->lock);
    m_pData->results[command] = hr;
}

void FakeSnagwise::OnCommand(std::function<void(const std::wstring&)> callback)
{
    std::lock_guard g(m_pData->lock);
    m_pData->onCommand = std::move(callback);
}

FakeSnagwise::Seen FakeSnagwise::Snapshot() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->seen;
}

std::vector<FakeRecord> FakeSnagwise::RecordsOfType(const std::wstring& type) const
{
    std::vector<FakeRecord> out;
    for (auto& r : Records())
        if (r.String(L"$Type") == type)
            out.push_back(std::move(r));
    return out;
}

std::vector<std::wstring> FakeSnagwise::Texts(const std::wstring& type, const std::wstring& key) const
{
    std::vector<std::wstring> out;
    for (const auto& r : RecordsOfType(type))
        out.push_back(r.String(key));
    return out;
}

void FakeSnagwise::Clear()
{
    std::lock_guard g(m_pData->lock);
    m_pData->seen = {};
}

} // namespace vantix::test
