#include "platform/comptr.h"
#include "platform/errorinfo.h"

namespace platform {

namespace {

class ErrorObject final : public ComObject<IErrorInfo> {
public:
    ErrorObject(std::wstring description, const GUID& iid, std::wstring source)
        : m_description(std::move(description)), m_iid(iid), m_source(std::move(source))
    {
    }
    HRESULT GetGUID(GUID* p) override
    {
        if (!p) return E_POINTER;
        *p = m_iid;
        return S_OK;
    }
    HRESULT GetSource(std::wstring* p) override
    {
        if (!p) return E_POINTER;
        *p = m_source;
        return S_OK;
    }
    HRESULT GetDescription(std::wstring* p) override
    {
        if (!p) return E_POINTER;
        *p = m_description;
        return S_OK;
    }

private:
    std::wstring m_description;
    GUID m_iid;
    std::wstring m_source;
};

thread_local ComPtr<IErrorInfo> t_error;

} // namespace

HRESULT SetErrorInfo(ULONG, IErrorInfo* p)
{
    t_error = p;
    return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pp)
{
    if (!pp)
        return E_POINTER;
    *pp = t_error.Detach();
    return *pp ? S_OK : S_FALSE;
}

void SetErrorDescription(const std::wstring& description, REFIID iid, const std::wstring& source)
{
    auto obj = MakeCom<ErrorObject>(description, iid, source);
    SetErrorInfo(0, obj.Get());
}

} // namespace platform
