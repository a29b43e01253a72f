#include "ClientInternal.h"

#include "platform/loader.h"
#include "platform/utf8.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cwchar>
#include <fstream>

namespace SnagwiseUtil {

namespace {

// Fixed identity of the start gate: another process (an installer, a crash
// reporter) holds it closed while the diagnostics library must not be used.
constexpr platform::GUID kStartGateId{
    0x6E0D2C55, 0x9B3A, 0x4C8F, {0xA1, 0xD7, 0x3F, 0x52, 0xB0, 0xE4, 0xC9, 0x21}};

void PassStartGate()
{
    const std::string& hooked = detail::Hooks().startGateName;
    const std::string name = hooked.empty() ? StartGateName() : hooked;
    sem_t* gate = sem_open(name.c_str(), 0);
    if (gate == SEM_FAILED)
        return;
    while (sem_wait(gate) == -1 && errno == EINTR) {
    }
    // Open again for the next waiter: the gate is a door, not a ticket.
    sem_post(gate);
    sem_close(gate);
}

void ShowFailureBox()
{
    if (const auto& hook = detail::Hooks().failureBox) {
        hook();
        return;
    }
    if (const auto& box = detail::Interface().failureBox) {
        box();
        return;
    }
    std::fprintf(stderr, "Snagwise Init Failed.\n");
}

// The client is part of the program; it is a shared library only so that the
// program and its libraries share one client. So the module named to the
// library is the program itself.
std::wstring ProgramModuleName()
{
    char path[1024];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return {};
    std::string_view p(path, static_cast<std::size_t>(n));
    if (const auto slash = p.rfind('/'); slash != std::string_view::npos)
        p.remove_prefix(slash + 1);
    if (const auto dot = p.rfind('.'); dot != std::string_view::npos && dot != 0)
        p = p.substr(0, dot);
    return detail::Widen(p);
}

IQX_SnagwiseUtil::SW_InitObjectFn FindInitExport(const LibraryLocation& where)
{
    void* module = dlopen(where.fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!module) {
        std::error_code ec;
        const auto dir = where.besideDirectory.empty() ? platform::ExecutableDirectory() : where.besideDirectory;
        const auto beside = dir / where.fileName;
        if (std::filesystem::exists(beside, ec))
            module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!module)
        module = dlopen(where.fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        if (const auto registered = platform::RegisteredModulePath(IQX_SnagwiseUtil::CLSID_SnagwiseUtil))
            module = dlopen(registered->c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!module)
        return nullptr;
    // The module stays loaded for the life of the process.
    return reinterpret_cast<IQX_SnagwiseUtil::SW_InitObjectFn>(dlsym(module, IQX_SnagwiseUtil::kInitObjectExport));
}

} // namespace

namespace detail {

ClientTestHooks& Hooks()
{
    // Never destroyed: traces from other objects' destructors still pass here.
    static auto* hooks = new ClientTestHooks;
    return *hooks;
}

ClientInterface& Interface()
{
    static auto* ui = new ClientInterface;
    return *ui;
}

std::wstring Widen(std::string_view text)
{
    return platform::FromUtf8(text);
}

std::uint32_t CurrentThreadId() noexcept
{
    return static_cast<std::uint32_t>(::syscall(SYS_gettid));
}

void CaptureContext(CONTEXT& context, std::uint32_t flags) noexcept
{
    constexpr int kFrames = IQX_SnagwiseUtil::kMaxContextFrames + 1;
    void* frames[kFrames];
    const int n = ::backtrace(frames, kFrames);
    context.ContextFlags = flags;
    context.FrameCount = 0;
    // Frame 0 is this function.
    for (int i = 1; i < n; ++i)
        context.Frames[context.FrameCount++] = reinterpret_cast<std::uintptr_t>(frames[i]);
    for (std::uint32_t i = context.FrameCount; i < IQX_SnagwiseUtil::kMaxContextFrames; ++i)
        context.Frames[i] = 0;
}

} // namespace detail

ClientTestHooks& ClientHooksForTesting()
{
    return detail::Hooks();
}

void SetClientInterface(ClientInterface ui)
{
    detail::Interface() = std::move(ui);
}

std::string StartGateName()
{
    return "/" + platform::StringFromGUIDA(kStartGateId);
}

bool IsDebuggerPresent()
{
    detail::ErrnoGuard keep;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    }
    return false;
}

HRESULT LoadLibraryObject(const LibraryLocation& where, IDebugObject** ppObject)
{
    if (!ppObject)
        return E_POINTER;
    *ppObject = nullptr;
    detail::ErrnoGuard keep;
    const auto init = FindInitExport(where);
    return init ? init(ppObject) : E_FAIL;
}

SnagwiseClient* GetSnagwiseClient()
{
    detail::ErrnoGuard keep;
    PassStartGate();
    return &SnagwiseClient::Instance();
}

SnagwiseClient::SnagwiseClient()
{
    detail::SetHandlersClient(this);
}

SnagwiseClient::~SnagwiseClient()
{
    Deinit();
    for (const HandlerGuard g : {eInvalidParameterGuard, eUnhandledFilterGuard, eSeTranslatorGuard})
        if (m_guards[g] == 0)
            detail::DeactivateHandler(g);
}

HRESULT SnagwiseClient::CreateObject()
{
    detail::ErrnoGuard keep;
    std::function<HRESULT(IDebugObject**)> create = detail::Hooks().createObject;
    if (!create) {
        const auto init = FindInitExport(LibraryLocation{});
        if (!init)
            return E_FAIL;
        create = init;
    }
    if (IDebugObject* old = m_pObject.exchange(nullptr))
        old->Release();
    IDebugObject* object = nullptr;
    const HRESULT hr = create(&object);
    m_pObject = object;
    return hr;
}

HRESULT SnagwiseClient::Init()
{
    detail::ErrnoGuard keep;
    std::lock_guard guard(m_lock);
    if (m_bAttempted)
        return S_OK;
    struct Initialising {
        std::atomic<bool>& flag;
        explicit Initialising(std::atomic<bool>& f) : flag(f) { flag = true; }
        ~Initialising() { flag = false; }
    } initialising(m_bInitialising);
    m_bAttempted = true;
    m_bEnabled = false;
    m_bShowFailure = false;
    if (const auto& setting = detail::Interface().showFailureSetting)
        m_bShowFailure = setting();

    HRESULT hr = CreateObject();
    if (!m_pObject)
        hr = E_FAIL;
    const std::wstring moduleName = ProgramModuleName();
    if (hr == S_OK) {
        m_bEnabled = true;
        {
            DebugRecord record(*this);
            hr = record.Create();
            if (hr == S_OK) {
                record.SetString(L"LogDirectory", L"");
                record.SetUI8(L"ModuleAddr", reinterpret_cast<std::uintptr_t>(this));
                record.SetString(L"ModuleName", moduleName);
                record.SetBool(L"ReleaseMode", true);
                record.SetString(L"ClientVersion", L"2.2 05.05.2006");
                hr = record.Send(L"INIT");
            }
        }
        if (hr != S_OK) {
            wchar_t address[24];
            std::swprintf(address, 24, L"%llu",
                          static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(this)));
            hr = m_pObject.load()->SecondaryInit(L"", address, 1);
        }
    }
    if (hr == S_OK) {
        m_bEnabled = true;
    } else {
        if (m_bShowFailure)
            ShowFailureBox();
        m_bAttempted = false;
        m_bEnabled = false;
        if (IDebugObject* object = m_pObject.exchange(nullptr))
            object->Release();
    }
    return hr;
}

void SnagwiseClient::Deinit()
{
    detail::ErrnoGuard keep;
    std::lock_guard guard(m_lock);
    if (!m_bEnabled)
        return;
    if (IDebugObject* object = m_pObject.exchange(nullptr)) {
        object->Command(nullptr, L"DEINIT");
        object->Release();
    }
    m_bEnabled = false;
}

void SnagwiseClient::EnsureInit()
{
    if (!m_bAttempted || m_bInitialising)
        Init();
}

HRESULT SnagwiseClient::SendCommand(const wchar_t* command)
{
    EnsureInit();
    detail::ErrnoGuard keep;
    HRESULT hr = E_FAIL;
    if (m_bEnabled) {
        if (IDebugObject* object = m_pObject.load())
            hr = object->Command(nullptr, command);
    }
    return hr;
}

void SnagwiseClient::Terminate()
{
    SendCommand(L"TERMINATE");
    std::_Exit(-1);
}

HRESULT SnagwiseClient::IsClean() { return SendCommand(L"IS CLEAN"); }
HRESULT SnagwiseClient::DoClean() { return SendCommand(L"DO CLEAN"); }
HRESULT SnagwiseClient::ReportDialog() { return SendCommand(L"REPORTDIALOG"); }
HRESULT SnagwiseClient::TraceEnabled() { return SendCommand(L"TRACEENABLED"); }

bool SnagwiseClient::IsActive()
{
    EnsureInit();
    return m_bEnabled;
}

HRESULT SnagwiseClient::CheckErrors(std::uint64_t windowHandle)
{
    DebugRecord record(*this);
    if (record.Create() != S_OK)
        return record.Result();
    record.SetString(L"$Type", L"CHECK ERRORS");
    record.SetUI8(L"Handle", windowHandle);
    return record.Send(L"PROCESS");
}

HRESULT SnagwiseClient::ReportException(int exceptionType, const EXCEPTION_POINTERS& pointers)
{
    DebugRecord record(*this);
    if (record.Create() != S_OK)
        return record.Result();
    const EXCEPTION_RECORD* er = pointers.ExceptionRecord;
    const std::uint32_t code = er ? er->ExceptionCode : 0;
    record.SetMarker(L"<<EXCEPTION>>");
    record.SetString(L"$Type", L"EXCEPTION");
    record.SetInt(L"ExceptionType", exceptionType);
    record.SetUI4(L"ErrorCode", code);
    record.SetUI4(L"Thread ID", detail::CurrentThreadId());
    record.SetUI4(L"Code", code);
    record.SetUI4(L"Continuable", er ? er->ExceptionFlags : 0);
    record.SetUI8(L"Address", er ? er->ExceptionAddress : 0);
    record.SetExceptionPointers(er, pointers.ContextRecord);
    return record.Send(L"PROCESS");
}

void SnagwiseClient::ResetForTesting()
{
    Deinit();
    std::lock_guard guard(m_lock);
    m_bAttempted = false;
    m_bEnabled = false;
    m_bShowFailure = false;
    if (IDebugObject* object = m_pObject.exchange(nullptr))
        object->Release();
}

// ---------------------------------------------------------------- DebugRecord

DebugRecord::DebugRecord(SnagwiseClient& client) : m_nSavedError(errno)
{
    client.EnsureInit();
    m_pObject = client.Object();
    m_bEnabled = client.Enabled();
}

DebugRecord::~DebugRecord()
{
    Finish();
    errno = m_nSavedError;
}

HRESULT DebugRecord::Create()
{
    if (!m_bEnabled || !m_pObject)
        return m_hrLast = E_FAIL;
    m_hrLast = m_pObject->Command(&m_pRecord, L"CREATE");
    return m_hrLast;
}

namespace {
void Put(IDebugObject* record, const wchar_t* key, VARIANT value)
{
    if (record)
        record->SetValue(key, std::move(value));
}
} // namespace

void DebugRecord::SetMarker(const wchar_t* key) { Put(m_pRecord, key, VARIANT::Empty()); }
void DebugRecord::SetString(const wchar_t* key, std::wstring value) { Put(m_pRecord, key, VARIANT::Bstr(std::move(value))); }
void DebugRecord::SetUI4(const wchar_t* key, std::uint32_t value) { Put(m_pRecord, key, VARIANT::UI4(value)); }
void DebugRecord::SetInt(const wchar_t* key, std::int32_t value) { Put(m_pRecord, key, VARIANT::Int(value)); }
void DebugRecord::SetI4(const wchar_t* key, std::int32_t value) { Put(m_pRecord, key, VARIANT::I4(value)); }
void DebugRecord::SetR8(const wchar_t* key, double value) { Put(m_pRecord, key, VARIANT::R8(value)); }
void DebugRecord::SetBool(const wchar_t* key, bool value) { Put(m_pRecord, key, VARIANT::Bool(value)); }

void DebugRecord::SetUI8(const wchar_t* key, std::uint64_t value)
{
    VARIANT v;
    v.vt = platform::VT_UI8;
    v.ullVal = value;
    Put(m_pRecord, key, std::move(v));
}

void DebugRecord::SetExceptionPointers(const EXCEPTION_RECORD* record, CONTEXT* context,
                                       std::unique_ptr<CONTEXT> ownedContext)
{
    m_pRecordCopy = std::make_unique<EXCEPTION_RECORD>();
    if (record)
        *m_pRecordCopy = *record;
    m_pContext = std::move(ownedContext);
    m_pPointers = std::make_unique<EXCEPTION_POINTERS>(EXCEPTION_POINTERS{m_pRecordCopy.get(), context});
    SetUI8(L"$EXCEPTION_POINTERS", reinterpret_cast<std::uintptr_t>(m_pPointers.get()));
}

HRESULT DebugRecord::Send(const wchar_t* command)
{
    if (!m_bEnabled || !m_pObject)
        return m_hrLast = E_FAIL;
    m_hrLast = m_pObject->Command(&m_pRecord, command);
    return m_hrLast;
}

void DebugRecord::Finish()
{
    if (IDebugObject* record = std::exchange(m_pRecord, nullptr)) {
        VARIANT value;
        if (SUCCEEDED(record->GetValue(L"$EXCEPTION_POINTERS", &value)) && value.ullVal != 0)
        {
            VARIANT zero;
            zero.vt = platform::VT_UI8;
            record->SetValue(L"$EXCEPTION_POINTERS", std::move(zero));
        }
        record->Release();
    }
    // The copies are ours whether or not the library kept the address.
    m_pPointers.reset();
    m_pRecordCopy.reset();
    m_pContext.reset();
}

} // namespace SnagwiseUtil
