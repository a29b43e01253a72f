// The call-site side: TracerClass, AsserterClass, ThrowError and the entry
// points the SW_ macros expand to.
#include "ClientInternal.h"

#include <csignal>
#include <cstdlib>
#include <cwchar>

namespace SnagwiseUtil {

namespace {

bool IsIdentChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '~';
}

// Steps back over one scope name ending at end: "CChart", "Outer<int, X<Y>>",
// "{anonymous}". Returns its first position.
std::size_t ScopeStart(std::string_view sig, std::size_t end)
{
    std::size_t pos = end;
    if (pos > 0 && sig[pos - 1] == '}') {
        const auto open = sig.rfind('{', pos - 1);
        return open == std::string_view::npos ? pos : open;
    }
    if (pos > 0 && sig[pos - 1] == '>') {
        int depth = 0;
        while (pos > 0) {
            const char c = sig[--pos];
            if (c == '>')
                ++depth;
            else if (c == '<' && --depth == 0)
                break;
        }
    }
    while (pos > 0 && IsIdentChar(sig[pos - 1]))
        --pos;
    return pos;
}

constexpr std::size_t kTraceBuffer = 4096;

} // namespace

std::string QualifiedFunctionName(const char* bareName, const char* signature)
{
    const std::string_view bare = bareName ? bareName : "";
    if (!signature || bare.empty())
        return std::string(bare);
    const std::string_view sig = signature;
    std::size_t pos = 0;
    for (;; ++pos) {
        pos = sig.find(bare, pos);
        if (pos == std::string_view::npos)
            return std::string(bare);
        const std::size_t end = pos + bare.size();
        const bool endsName = end < sig.size() && sig[end] == '(';
        const bool startsName = pos == 0 || sig[pos - 1] == ':' || sig[pos - 1] == ' ' || sig[pos - 1] == '*' ||
                                sig[pos - 1] == '&';
        if (endsName && startsName)
            break;
    }
    std::size_t start = pos;
    while (start >= 2 && sig[start - 1] == ':' && sig[start - 2] == ':')
        start = ScopeStart(sig, start - 2);
    return std::string(sig.substr(start, pos + bare.size() - start));
}

// ---------------------------------------------------------------- TracerClass

TracerClass::TracerClass(SnagwiseClient* client, const char* file, int line, const char* function,
                         const char* signature, std::uint32_t object)
    : m_nSavedError(errno), m_pClient(client), m_szFile(file), m_nLine(line),
      m_sFunction(QualifiedFunctionName(function, signature)), m_szSignature(signature), m_nObject(object)
{
}

TracerClass::~TracerClass()
{
    errno = m_nSavedError;
}

void TracerClass::Trace(const wchar_t* format, ...)
{
    std::va_list args;
    va_start(args, format);
    TraceV(format, args);
    va_end(args);
}

void TracerClass::TraceV(const wchar_t* format, std::va_list args)
{
    wchar_t message[kTraceBuffer];
    message[0] = L'\0';
    if (format) {
        // Longer output is cut at the buffer end (glibc writes the prefix and answers -1).
        if (std::vswprintf(message, kTraceBuffer, format, args) < 0)
            message[kTraceBuffer - 1] = L'\0';
    }
    if (!m_pClient || !m_pClient->IsActive())
        return;
    DebugRecord record(*m_pClient);
    if (record.Create() != S_OK)
        return;
    record.SetString(L"$Type", L"TRACE");
    if (message[0])
        record.SetString(L"$Message", message);
    record.SetInt(L"$Ident", 0);
    record.SetString(L"File", detail::Widen(m_szFile ? m_szFile : ""));
    record.SetInt(L"Line", m_nLine);
    if (m_nGroup)
        record.SetInt(L"$Group", m_nGroup);
    record.SetUI4(L"Thread ID", detail::CurrentThreadId());
    record.SetString(L"Function", detail::Widen(m_sFunction));
    record.SetString(L"$FuncSig", detail::Widen(m_szSignature ? m_szSignature : ""));
    if (m_nObject)
        record.SetUI4(L"Object", m_nObject);
    // Scope timing is never switched on by the program's call sites.
    const double delay = 0;
    if (delay != 0)
        record.SetR8(L"$Delay", delay);
    if (m_pCount && *m_pCount)
        record.SetInt(L"Count", *m_pCount);
    if (m_pTotalTime && *m_pTotalTime != 0)
        record.SetR8(L"$TotalTime", *m_pTotalTime);
    record.Send(L"PROCESS");
}

void TracerClass::WriteCallSite(DebugRecord& record, bool withThread) const
{
    if (withThread)
        record.SetUI4(L"Thread ID", detail::CurrentThreadId());
    record.SetString(L"File", detail::Widen(m_szFile ? m_szFile : ""));
    record.SetInt(L"Line", m_nLine);
    if (m_nGroup)
        record.SetInt(L"$Group", m_nGroup);
    record.SetString(L"Function", detail::Widen(m_sFunction));
    record.SetString(L"$FuncSig", detail::Widen(m_szSignature ? m_szSignature : ""));
}

// -------------------------------------------------------------- AsserterClass

AsserterClass::AsserterClass(SnagwiseClient* client, const char* file, int line, const char* function,
                             const char* signature)
    : TracerClass(client, file, line, function, signature), m_nAssertError(errno)
{
}

AsserterClass::~AsserterClass()
{
    errno = m_nAssertError;
}

HRESULT AsserterClass::Report(const wchar_t* description, HRESULT hr, bool hasHr)
{
    HRESULT result = E_FAIL;
    if (!m_pClient || !m_pClient->IsActive())
        return result;
    auto context = std::make_unique<CONTEXT>();
    detail::CaptureContext(*context, IQX_SnagwiseUtil::CONTEXT_FULL_FLAGS);

    DebugRecord record(*m_pClient);
    if (record.Create() != S_OK)
        return record.Result();
    record.SetMarker(L"<<ASSERT>>");
    record.SetString(L"$Type", L"ASSERT");
    if (m_nAssertError)
        record.SetUI4(L"Last Error Code", static_cast<std::uint32_t>(m_nAssertError));
    if (hasHr)
        record.SetI4(L"HRESULT", hr);
    if (description && *description)
        record.SetString(L"Description", description);
    WriteCallSite(record, true);
    CONTEXT* raw = context.get();
    record.SetExceptionPointers(nullptr, raw, std::move(context));

    result = record.Send(L"FILTER");
    if (result == S_OK)
        result = record.Send(L"PROCESS");
    record.Finish();
    return result;
}

// ----------------------------------------------------------------- ThrowError

ThrowError::ThrowError(SnagwiseClient* client, const char* file, int line, const char* function,
                       const char* signature)
    : AsserterClass(client, file, line, function, signature), m_nThrowError(errno)
{
}

ThrowError::~ThrowError()
{
    errno = m_nThrowError;
}

void ThrowError::Throw()
{
    if (m_pClient) {
        m_pClient->EnsureInit();
        if (m_pClient->Enabled()) {
            IDebugObject* kept = nullptr;
            HRESULT hr = E_FAIL;
            {
                DebugRecord record(*m_pClient);
                if (record.Create() == S_OK) {
                    record.SetMarker(L"<<ERROR>>");
                    record.SetString(L"$Type", L"CREATE ERROR");
                    record.SetUI4(L"$ThreadID", detail::CurrentThreadId());
                    if (m_nThrowError)
                        record.SetUI4(L"Last Error Code", static_cast<std::uint32_t>(m_nThrowError));
                    record.SetString(L"Description", L"bad pointer");
                    WriteCallSite(record, false);
                    kept = record.Record();
                    if (kept)
                        kept->AddRef();
                    hr = record.Send(L"PROCESS");
                } else {
                    hr = record.Result();
                }
            }
            errno = m_nThrowError;
            if (SUCCEEDED(hr) && kept)
                throw kept;
            if (kept)
                kept->Release();
        }
    }
    throw L"bad pointer";
}

// ------------------------------------------------------------------- verdicts

void ObeyVerdict(SnagwiseClient* client, HRESULT verdict)
{
    detail::ErrnoGuard keep;
    if (verdict == IQX_SnagwiseUtil::kVerdictBreak) {
        if (const auto& hook = detail::Hooks().debugBreak)
            hook();
        else if (IsDebuggerPresent())
            std::raise(SIGTRAP);
    } else if (verdict == E_ABORT) {
        if (client) {
            client->EnsureInit();
            if (client->Enabled())
                client->Deinit();
        }
        std::_Exit(-1);
    }
}

// ---------------------------------------------------------- macro entry points

namespace {
HRESULT Fire(const CallSite& site, const wchar_t* description, HRESULT hr, bool hasHr)
{
    SnagwiseClient* client = GetSnagwiseClient();
    HRESULT verdict;
    {
        AsserterClass asserter(client, site.file, site.line, site.function, site.signature);
        verdict = asserter.Report(description, hr, hasHr);
    }
    ObeyVerdict(client, verdict);
    return verdict;
}
} // namespace

HRESULT AssertFired(const CallSite& site, const char* description)
{
    detail::ErrnoGuard keep;
    const std::wstring text = detail::Widen(description ? description : "");
    errno = keep.Saved();
    return Fire(site, text.c_str(), S_OK, false);
}

HRESULT AssertHrFired(const CallSite& site, HRESULT hr)
{
    return Fire(site, nullptr, hr, true);
}

void Trace(const CallSite& site, const wchar_t* format, ...)
{
    SnagwiseClient* client = GetSnagwiseClient();
    TracerClass tracer(client, site.file, site.line, site.function, site.signature);
    std::va_list args;
    va_start(args, format);
    tracer.TraceV(format, args);
    va_end(args);
}

void ThrowBadPointer(const CallSite& site)
{
    SnagwiseClient* client = GetSnagwiseClient();
    ThrowError error(client, site.file, site.line, site.function, site.signature);
    error.Throw();
}

} // namespace SnagwiseUtil
