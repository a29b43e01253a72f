#include "support/FakeSnagwise.h"

#include <mutex>

namespace vantix::test {

using IQX_SnagwiseUtil::IDebugObject;

struct FakeSnagwise::Data {
    mutable std::mutex lock;
    bool available = true;
    HRESULT initObjectResult = S_OK;
    HRESULT secondaryInitResult = E_FAIL;
    std::map<std::wstring, HRESULT> results;
    std::function<void(const std::wstring&)> onCommand;

    std::vector<FakeCommand> commands;
    std::vector<FakeRecord> records;
    int initObjectCalls = 0;
    int secondaryInitCalls = 0;
    int failureBoxes = 0;
    int debugBreaks = 0;
};

namespace {

class FakeObject final : public IQX_SnagwiseUtil::DebugObjectBase {
public:
    // index < 0: the library's main object; otherwise record number index.
    FakeObject(std::shared_ptr<FakeSnagwise::Data> data, int index) : m_pData(std::move(data)), m_nIndex(index) {}

    HRESULT SecondaryInit(const wchar_t*, const wchar_t*, std::int32_t) override
    {
        std::lock_guard g(m_pData->lock);
        ++m_pData->secondaryInitCalls;
        return m_pData->secondaryInitResult;
    }

    HRESULT Command(IDebugObject** record, const wchar_t* command) override
    {
        const std::wstring name = command ? command : L"";
        std::function<void(const std::wstring&)> callback;
        {
            std::lock_guard g(m_pData->lock);
            callback = m_pData->onCommand;
        }
        if (callback)
            callback(name);
        std::lock_guard g(m_pData->lock);
        const auto it = m_pData->results.find(name);
        const HRESULT answer = it == m_pData->results.end() ? S_OK : it->second;
        if (name == L"CREATE") {
            m_pData->commands.push_back({name, -1});
            if (answer != S_OK || !record)
                return answer;
            const int index = static_cast<int>(m_pData->records.size());
            m_pData->records.emplace_back();
            m_pData->records.back().commands.push_back(name);
            *record = new FakeObject(m_pData, index);
            (*record)->AddRef();
            m_pData->commands.back().record = index;
            return answer;
        }
        int index = -1;
        if (record && *record)
            index = static_cast<FakeObject*>(*record)->m_nIndex;
        m_pData->commands.push_back({name, index});
        if (index >= 0)
            m_pData->records[index].commands.push_back(name);
        return answer;
    }

    HRESULT GetValue(const wchar_t* name, VARIANT* value) override
    {
        if (!name || !value)
            return E_POINTER;
        std::lock_guard g(m_pData->lock);
        if (m_nIndex < 0)
            return DISP_E_UNKNOWNNAME;
        const auto& writes = m_pData->records[m_nIndex].writes;
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->key == name) {
                *value = it->value;
                return S_OK;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT SetValue(const wchar_t* name, VARIANT value) override
    {
        if (!name)
            return E_POINTER;
        std::lock_guard g(m_pData->lock);
        if (m_nIndex < 0)
            return E_INVALIDARG;
        m_pData->records[m_nIndex].writes.push_back({name, std::move(value)});
        return S_OK;
    }

private:
    std::shared_ptr<FakeSnagwise::Data> m_pData;
    int m_nIndex;
};

} // namespace

std::vector<std::wstring> FakeRecord::Keys() const
{
    std::vector<std::wstring> keys;
    for (const auto& w : writes)
        keys.push_back(w.key);
    return keys;
}

bool FakeRecord::Has(const std::wstring& key) const
{
    return Find(key) != nullptr;
}

const VARIANT* FakeRecord::Find(const std::wstring& key) const
{
    for (const auto& w : writes)
        if (w.key == key)
            return &w.value;
    return nullptr;
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
        if (!data->available)
            return E_FAIL;
        ++data->initObjectCalls;
        if (data->initObjectResult != S_OK)
            return data->initObjectResult;
        *pp = new FakeObject(data, -1);
        (*pp)->AddRef();
        return S_OK;
    };
    hooks.failureBox = [weak] {
        if (auto data = weak.lock()) {
            std::lock_guard g(data->lock);
            ++data->failureBoxes;
        }
    };
    hooks.debugBreak = [weak] {
        if (auto data = weak.lock()) {
            std::lock_guard g(data->lock);
            ++data->debugBreaks;
        }
    };
}

FakeSnagwise::~FakeSnagwise()
{
    ResetClient();
    SnagwiseUtil::ClientHooksForTesting() = m_previousHooks;
}

void FakeSnagwise::ResetClient()
{
    SnagwiseUtil::GetSnagwiseClient()->ResetForTesting();
}

void FakeSnagwise::SetAvailable(bool available)
{
    std::lock_guard g(m_pData->lock);
    m_pData->available = available;
}

void FakeSnagwise::SetInitObjectResult(HRESULT hr)
{
    std::lock_guard g(m_pData->lock);
    m_pData->initObjectResult = hr;
}

void FakeSnagwise::SetResult(const std::wstring& command, HRESULT hr)
{
    std::lock_guard g(m_pData->lock);
    m_pData->results[command] = hr;
}

void FakeSnagwise::SetSecondaryInitResult(HRESULT hr)
{
    std::lock_guard g(m_pData->lock);
    m_pData->secondaryInitResult = hr;
}

void FakeSnagwise::OnCommand(std::function<void(const std::wstring&)> callback)
{
    std::lock_guard g(m_pData->lock);
    m_pData->onCommand = std::move(callback);
}

std::vector<FakeCommand> FakeSnagwise::Commands() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->commands;
}

std::vector<std::wstring> FakeSnagwise::CommandNames() const
{
    std::vector<std::wstring> names;
    for (const auto& c : Commands())
        names.push_back(c.command);
    return names;
}

std::vector<FakeRecord> FakeSnagwise::Records() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->records;
}

std::vector<FakeRecord> FakeSnagwise::RecordsOfType(const std::wstring& type) const
{
    std::vector<FakeRecord> out;
    for (auto& r : Records())
        if (r.Type() == type)
            out.push_back(std::move(r));
    return out;
}

std::vector<std::wstring> FakeSnagwise::Asserts() const
{
    std::vector<std::wstring> out;
    for (const auto& r : RecordsOfType(L"ASSERT"))
        out.push_back(r.String(L"Description"));
    return out;
}

std::vector<std::wstring> FakeSnagwise::Traces() const
{
    std::vector<std::wstring> out;
    for (const auto& r : RecordsOfType(L"TRACE"))
        out.push_back(r.String(L"$Message"));
    return out;
}

int FakeSnagwise::InitObjectCalls() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->initObjectCalls;
}

int FakeSnagwise::SecondaryInitCalls() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->secondaryInitCalls;
}

int FakeSnagwise::FailureBoxes() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->failureBoxes;
}

int FakeSnagwise::DebugBreaks() const
{
    std::lock_guard g(m_pData->lock);
    return m_pData->debugBreaks;
}

void FakeSnagwise::Clear()
{
    std::lock_guard g(m_pData->lock);
    m_pData->commands.clear();
    m_pData->records.clear();
    m_pData->initObjectCalls = 0;
    m_pData->secondaryInitCalls = 0;
    m_pData->failureBoxes = 0;
    m_pData->debugBreaks = 0;
}

} // namespace vantix::test
