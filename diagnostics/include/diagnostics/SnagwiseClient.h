#pragma once
// The diagnostics client: one per process, the only path from the program to
// the diagnostics library. It never logs, shows or stores anything itself; it
// turns each event into a record and hands it to the library with a command.
// Without the library every record is dropped and the program goes on.
//
// Every operation leaves errno as it found it.
#include "diagnostics/IDebugObject.h"
#include "diagnostics/snagwise.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace SnagwiseUtil {

using IQX_SnagwiseUtil::CONTEXT;
using IQX_SnagwiseUtil::EXCEPTION_POINTERS;
using IQX_SnagwiseUtil::EXCEPTION_RECORD;
using IQX_SnagwiseUtil::IDebugObject;

class SnagwiseClient;

// Constructs the process's single T on first use (serialised) and destroys it
// at process exit.
template <class T, int N>
class SnagwiseInitializer {
public:
    static T& Instance()
    {
        static T instance;
        return instance;
    }

protected:
    SnagwiseInitializer() = default;
};

// Indices of the process-wide handlers' guard bytes.
enum HandlerGuard { eInvalidParameterGuard = 0, eUnhandledFilterGuard = 1, eSeTranslatorGuard = 2 };

class SnagwiseClient : public SnagwiseInitializer<SnagwiseClient, 0> {
public:
    SnagwiseClient();
    virtual ~SnagwiseClient();
    SnagwiseClient(const SnagwiseClient&) = delete;
    SnagwiseClient& operator=(const SnagwiseClient&) = delete;

    // Locates the library and creates its main object.
    virtual HRESULT CreateObject();
    // One-time initialisation; a failure leaves the client fresh, so the next
    // access tries again.
    virtual HRESULT Init();
    // Sends TERMINATE and ends the process with exit status -1 (255).
    [[noreturn]] virtual void Terminate();
    virtual HRESULT IsClean();
    virtual HRESULT DoClean();
    virtual HRESULT ReportDialog();
    virtual HRESULT TraceEnabled();

    // Sends DEINIT and releases the library; no further attempt is made.
    void Deinit();
    // E_FAIL while the library is not usable.
    HRESULT SendCommand(const wchar_t* command);
    bool IsActive();
    // Runs Init unless it was attempted; while another thread is initialising,
    // waits for it, so no record of that moment is lost.
    void EnsureInit();

    // "CHECK ERRORS" record with the main window's handle.
    HRESULT CheckErrors(std::uint64_t windowHandle);
    // EXCEPTION record (type 1 from the fatal-fault handlers, 0 otherwise); returns the verdict.
    HRESULT ReportException(int exceptionType, const EXCEPTION_POINTERS& pointers);

    bool Attempted() const { return m_bAttempted.load(); }
    bool Enabled() const { return m_bEnabled.load(); }
    IDebugObject* Object() const { return m_pObject.load(); }
    // Guard bytes of the three process-wide handlers; a zero byte switches the
    // handler off when the client is destroyed.
    unsigned char& HandlerGuardByte(HandlerGuard which) { return m_guards[which]; }

    // Test hook: forgets the library (sending DEINIT if enabled) and returns to
    // the fresh state, so the next access initialises again.
    void ResetForTesting();

private:
    friend class DebugRecord;
    std::atomic<IDebugObject*> m_pObject{nullptr}; // one reference held
    std::atomic<bool> m_bAttempted{false};
    std::atomic<bool> m_bEnabled{false};
    std::atomic<bool> m_bInitialising{false};
    bool m_bShowFailure = false;
    // Init and Deinit. Recursive: the INIT record, and whatever runs while the
    // failure box is shown, come back through Init on the same thread.
    std::recursive_mutex m_lock;
    unsigned char m_guards[3] = {0, 0, 0};
};

// The single client. Passes the start gate first: while the named semaphore
// exists, waits on it and posts it again.
SnagwiseClient* GetSnagwiseClient();

// Where CreateObject looks for the library, in order: already loaded (by file
// name), beside the executable, the library search path, then the module the
// component registration file lists under CLSID_SnagwiseUtil.
struct LibraryLocation {
    std::string fileName = "libSnagwiseUtil3.0.so";
    std::filesystem::path besideDirectory; // empty: the executable's folder
};
// Loads the library and calls its export into *ppObject.
HRESULT LoadLibraryObject(const LibraryLocation& where, IDebugObject** ppObject);

// Seams for tests; each empty member keeps the normal behaviour.
struct ClientTestHooks {
    std::function<HRESULT(IDebugObject**)> createObject; // replaces locating the library
    std::function<void()> failureBox;  // replaces the "Snagwise Init Failed." box
    std::function<void()> debugBreak;  // replaces breaking into an attached debugger
    std::string startGateName;         // replaces the start gate's semaphore name
};
ClientTestHooks& ClientHooksForTesting();

// What the client takes from the program's user interface, given at start-up
// before the client is first used (diagnostics/QtInterface.h has Qt's). This
// library does not use Qt itself, so tools and components that load it do not
// load Qt. Without it the failure text goes to stderr and no setting asks for it.
struct ClientInterface {
    std::function<void()> failureBox;         // shows "Snagwise Init Failed."
    std::function<bool()> showFailureSetting; // whether that failure is to be shown
};
void SetClientInterface(ClientInterface ui);
// The start gate's semaphore name ("/{GUID}").
std::string StartGateName();
// True while a debugger is attached (TracerPid in /proc/self/status).
bool IsDebuggerPresent();

// One record while it is built and sent. Makes the client initialise if it has
// not tried yet; restores errno when destroyed.
class DebugRecord {
public:
    explicit DebugRecord(SnagwiseClient& client);
    ~DebugRecord();
    DebugRecord(const DebugRecord&) = delete;
    DebugRecord& operator=(const DebugRecord&) = delete;

    bool Enabled() const { return m_bEnabled; }
    HRESULT Result() const { return m_hrLast; }
    IDebugObject* Record() const { return m_pRecord; }

    // "CREATE"; E_FAIL when the client is not enabled.
    HRESULT Create();
    void SetMarker(const wchar_t* key);
    void SetString(const wchar_t* key, std::wstring value);
    void SetUI4(const wchar_t* key, std::uint32_t value);
    void SetUI8(const wchar_t* key, std::uint64_t value);
    void SetInt(const wchar_t* key, std::int32_t value);
    void SetI4(const wchar_t* key, std::int32_t value);
    void SetR8(const wchar_t* key, double value);
    void SetBool(const wchar_t* key, bool value);
    // Writes "$EXCEPTION_POINTERS": a new pointer pair holding a copy of record
    // (or a zeroed one) and context (kept, not copied), owned by this object.
    void SetExceptionPointers(const EXCEPTION_RECORD* record, CONTEXT* context,
                              std::unique_ptr<CONTEXT> ownedContext = {});
    // Sends the record with command; the result becomes Result().
    HRESULT Send(const wchar_t* command);
    // Frees the exception copies (writing "$EXCEPTION_POINTERS" back as 0) and
    // releases the record.
    void Finish();

private:
    IDebugObject* m_pObject; // copied from the client, not add-ref'd
    int m_nSavedError;
    IDebugObject* m_pRecord = nullptr;
    bool m_bEnabled;
    HRESULT m_hrLast = E_FAIL;
    std::unique_ptr<EXCEPTION_POINTERS> m_pPointers;
    std::unique_ptr<EXCEPTION_RECORD> m_pRecordCopy;
    std::unique_ptr<CONTEXT> m_pContext;
};

// Call-site context of one check or trace; restores errno when destroyed.
class TracerClass {
public:
    TracerClass(SnagwiseClient* client, const char* file, int line, const char* function,
                const char* signature, std::uint32_t object = 0);
    virtual ~TracerClass();
    TracerClass(const TracerClass&) = delete;
    TracerClass& operator=(const TracerClass&) = delete;

    // printf-style wide format (glibc conversions: %ls for wide strings),
    // formatted into 4096 characters, longer output cut.
    void Trace(const wchar_t* format, ...);
    void TraceV(const wchar_t* format, std::va_list args);

protected:
    void WriteCallSite(DebugRecord& record, bool withThread) const;

    int m_nSavedError;
    SnagwiseClient* m_pClient;
    const char* m_szFile;
    std::int32_t m_nLine;
    std::int32_t m_nGroup = 0;
    std::string m_sFunction;  // qualified name, "CChart::GetErrorDescription"
    const char* m_szSignature;
    bool m_bFlag = false;
    bool m_bTiming = false;
    double m_dStart = 0;
    std::uint32_t m_nObject;
    std::int32_t* m_pCount = nullptr;
    double* m_pTotalTime = nullptr;
};

class AsserterClass : public TracerClass {
public:
    AsserterClass(SnagwiseClient* client, const char* file, int line, const char* function,
                  const char* signature);
    ~AsserterClass() override;

    // Sends ASSERT through FILTER, then PROCESS if FILTER answered 0; returns
    // the verdict (E_FAIL without the library).
    HRESULT Report(const wchar_t* description, HRESULT hr, bool hasHr);
    int SavedError() const { return m_nAssertError; }

protected:
    int m_nAssertError;
};

class ThrowError : public AsserterClass {
public:
    ThrowError(SnagwiseClient* client, const char* file, int line, const char* function,
               const char* signature);
    ~ThrowError() override;

    // Sends the ERROR record "bad pointer" and throws the record
    // (IQX_SnagwiseUtil::IDebugObject*, one reference for the catcher) when
    // PROCESS succeeded, else the wide text L"bad pointer".
    [[noreturn]] void Throw();

private:
    std::uint32_t m_nReserved = 0;
    int m_nThrowError;
};

// Acts on an assertion verdict: 1 breaks into an attached debugger; E_ABORT
// deinitialises and ends the process with -1; anything else continues.
void ObeyVerdict(SnagwiseClient* client, HRESULT verdict);

// The qualified function name inside a __PRETTY_FUNCTION__ text, given the
// bare name (__func__); the bare name when it cannot be found.
std::string QualifiedFunctionName(const char* bareName, const char* signature);

} // namespace SnagwiseUtil
