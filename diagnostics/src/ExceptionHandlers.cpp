#include "diagnostics/ExceptionHandlers.h"

#include "ClientInternal.h"

#include <signal.h>
#include <ucontext.h>

#include <array>
#include <atomic>
#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <memory>

namespace SnagwiseUtil {

namespace {

constexpr std::array<int, 4> kFatalSignals{SIGSEGV, SIGBUS, SIGILL, SIGABRT};
constexpr std::size_t kAltStackSize = 256 * 1024;

struct HandlerState {
    std::atomic<SnagwiseClient*> client{nullptr};
    std::atomic<bool> active[3] = {false, false, false};
    std::terminate_handler previousTerminate = nullptr;
    struct sigaction previousFatal[kFatalSignals.size()] = {};
    bool hasPreviousFatal[kFatalSignals.size()] = {};
    struct sigaction previousFpe = {};
    bool hasPreviousFpe = false;
    std::unique_ptr<char[]> altStack;
};

HandlerState& State()
{
    // Never destroyed: the handlers stay installed until the process is gone.
    static auto* state = new HandlerState;
    return *state;
}

void ResetDefaultAndRaise(int sig)
{
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    // Blocked while this handler runs: delivered, with the default action, on return
    // (a hardware fault simply recurs).
    raise(sig);
}

// Runs a remembered handler; the default disposition ends the process as it would have.
void Chain(const struct sigaction& previous, int sig, siginfo_t* info, void* uctx)
{
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction)
            previous.sa_sigaction(sig, info, uctx);
        return;
    }
    if (previous.sa_handler == SIG_IGN)
        return;
    if (previous.sa_handler == SIG_DFL) {
        ResetDefaultAndRaise(sig);
        return;
    }
    previous.sa_handler(sig);
}

std::uint64_t InstructionPointer(void* uctx)
{
    if (!uctx)
        return 0;
    const auto* uc = static_cast<const ucontext_t*>(uctx);
#if defined(__x86_64__)
    return static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uc->uc_mcontext.pc;
#else
    (void)uc;
    return 0;
#endif
}

std::uint32_t CodeForSignal(int sig, const siginfo_t* info)
{
    using namespace IQX_SnagwiseUtil;
    const int code = info ? info->si_code : 0;
    switch (sig) {
    case SIGSEGV:
        return EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS:
        return EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
        return EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGABRT:
        return STATUS_FATAL_APP_EXIT;
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB: return EXCEPTION_FLT_STACK_CHECK;
        default: return EXCEPTION_FLT_INVALID_OPERATION;
        }
    default:
        return 0;
    }
}

EXCEPTION_RECORD RecordForSignal(int sig, const siginfo_t* info, void* uctx, std::uint32_t flags)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = CodeForSignal(sig, info);
    record.ExceptionFlags = flags;
    record.ExceptionAddress = InstructionPointer(uctx);
    record.Signal = sig;
    record.NumberParameters = 2;
    record.ExceptionInformation[0] = info ? static_cast<std::uint64_t>(static_cast<std::int64_t>(info->si_code)) : 0;
    record.ExceptionInformation[1] = info ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
    return record;
}

bool IsFloatingPointCode(std::uint32_t code)
{
    return code >= IQX_SnagwiseUtil::EXCEPTION_FLT_DENORMAL_OPERAND &&
           code <= IQX_SnagwiseUtil::EXCEPTION_FLT_UNDERFLOW;
}

// _fpreset: the running state, and the state the interrupted code resumes with.
void ResetFloatingPoint(void* uctx)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetenv(FE_DFL_ENV);
#if defined(__x86_64__)
    if (uctx) {
        auto* uc = static_cast<ucontext_t*>(uctx);
        if (auto* fp = uc->uc_mcontext.fpregs) {
            fp->mxcsr = 0x1F80; // every exception masked, no flag set
            fp->cwd = 0x037F;
            fp->swd = 0;
        }
    }
#endif
}

// Report with type 0 and act on the verdict; false when the caller must return at once.
bool ReportAndObey(SnagwiseClient* client, const EXCEPTION_RECORD& record, std::uint32_t contextFlags)
{
    CONTEXT context;
    detail::CaptureContext(context, contextFlags);
    EXCEPTION_POINTERS pointers{const_cast<EXCEPTION_RECORD*>(&record), &context};
    HRESULT verdict;
    {
        detail::ErrnoGuard keep;
        verdict = client->ReportException(0, pointers);
    }
    if (verdict == IQX_SnagwiseUtil::kVerdictBreak) {
        ObeyVerdict(client, verdict);
        return false;
    }
    if (verdict == E_ABORT)
        ObeyVerdict(client, verdict); // does not return
    return true;
}

// ------------------------------------------------------- unhandled exceptions

[[noreturn]] void ReportFatalAndTerminate(SnagwiseClient* client, const EXCEPTION_RECORD& record)
{
    CONTEXT context;
    detail::CaptureContext(context, IQX_SnagwiseUtil::CONTEXT_FULL_FLAGS);
    EXCEPTION_POINTERS pointers{const_cast<EXCEPTION_RECORD*>(&record), &context};
    {
        detail::ErrnoGuard keep;
        client->ReportException(1, pointers);
    }
    client->Terminate();
    std::_Exit(-1); // an override of Terminate must not bring the fault back
}

void OnFatalSignal(int sig, siginfo_t* info, void* uctx)
{
    auto& state = State();
    if (!state.active[eUnhandledFilterGuard]) {
        ResetDefaultAndRaise(sig);
        return;
    }
    if (SnagwiseClient* client = state.client.load())
        ReportFatalAndTerminate(client, RecordForSignal(sig, info, uctx, IQX_SnagwiseUtil::EXCEPTION_NONCONTINUABLE));
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        if (kFatalSignals[i] == sig && state.hasPreviousFatal[i]) {
            Chain(state.previousFatal[i], sig, info, uctx);
            return;
        }
    }
    ResetDefaultAndRaise(sig);
}

[[noreturn]] void OnTerminate()
{
    auto& state = State();
    if (state.active[eUnhandledFilterGuard]) {
        if (SnagwiseClient* client = state.client.load()) {
            EXCEPTION_RECORD record = {};
            record.ExceptionCode = IQX_SnagwiseUtil::EXCEPTION_CPP;
            record.ExceptionFlags = IQX_SnagwiseUtil::EXCEPTION_NONCONTINUABLE;
            record.ExceptionAddress = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
            ReportFatalAndTerminate(client, record);
        }
        if (state.previousTerminate)
            state.previousTerminate();
    }
    std::abort();
}

// ----------------------------------------------------------- SIGFPE translator

void OnFloatingPointSignal(int sig, siginfo_t* info, void* uctx)
{
    auto& state = State();
    if (!state.active[eSeTranslatorGuard]) {
        ResetDefaultAndRaise(sig);
        return;
    }
    if (SnagwiseClient* client = state.client.load()) {
        const EXCEPTION_RECORD record = RecordForSignal(sig, info, uctx, 0);
        if (IsFloatingPointCode(record.ExceptionCode))
            ResetFloatingPoint(uctx);
        if (!ReportAndObey(client, record, IQX_SnagwiseUtil::CONTEXT_FULL_FLAGS))
            return;
    }
    if (state.hasPreviousFpe)
        Chain(state.previousFpe, sig, info, uctx);
    else
        ResetDefaultAndRaise(sig);
}

void EnsureAlternateStack()
{
    auto& state = State();
    stack_t current = {};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return;
    if (!state.altStack)
        state.altStack = std::make_unique<char[]>(kAltStackSize);
    stack_t stack = {};
    stack.ss_sp = state.altStack.get();
    stack.ss_size = kAltStackSize;
    sigaltstack(&stack, nullptr);
}

void WarmUpBacktrace()
{
    // The first backtrace loads the unwinder; do it now rather than inside a fault.
    CONTEXT context;
    detail::CaptureContext(context, 0);
}

} // namespace

namespace detail {

void SetHandlersClient(SnagwiseClient* client) noexcept
{
    State().client = client;
}

void DeactivateHandler(HandlerGuard which) noexcept
{
    State().active[which] = false;
}

} // namespace detail

bool IsHandlerActive(HandlerGuard which)
{
    return State().active[which];
}

void ActivateInvalidParameterHandler(SnagwiseClient* client)
{
    detail::ErrnoGuard keep;
    auto& state = State();
    state.client = client;
    WarmUpBacktrace();
    state.active[eInvalidParameterGuard] = true;
}

bool ReportInvalidParameter()
{
    auto& state = State();
    if (!state.active[eInvalidParameterGuard])
        return false;
    if (SnagwiseClient* client = state.client.load()) {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = IQX_SnagwiseUtil::STATUS_INVALID_PARAMETER;
        if (!ReportAndObey(client, record, IQX_SnagwiseUtil::CONTEXT_CONTROL_ONLY))
            return false;
    }
    return true;
}

void InstallUnhandledExceptionFilter(SnagwiseClient* client)
{
    detail::ErrnoGuard keep;
    auto& state = State();
    state.client = client;
    WarmUpBacktrace();
    EnsureAlternateStack();
    const std::terminate_handler previous = std::set_terminate(&OnTerminate);
    if (previous != &OnTerminate)
        state.previousTerminate = previous;
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        struct sigaction action = {};
        action.sa_sigaction = &OnFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        struct sigaction old = {};
        if (sigaction(kFatalSignals[i], &action, &old) == 0 &&
            !((old.sa_flags & SA_SIGINFO) && old.sa_sigaction == &OnFatalSignal)) {
            state.previousFatal[i] = old;
            state.hasPreviousFatal[i] = true;
        }
    }
    state.active[eUnhandledFilterGuard] = true;
}

void InstallSeTranslator(SnagwiseClient* client)
{
    detail::ErrnoGuard keep;
    auto& state = State();
    state.client = client;
    WarmUpBacktrace();
    EnsureAlternateStack();
    struct sigaction action = {};
    action.sa_sigaction = &OnFloatingPointSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    struct sigaction old = {};
    if (sigaction(SIGFPE, &action, &old) == 0 &&
        !((old.sa_flags & SA_SIGINFO) && old.sa_sigaction == &OnFloatingPointSignal)) {
        state.previousFpe = old;
        state.hasPreviousFpe = true;
    }
    state.active[eSeTranslatorGuard] = true;
}

} // namespace SnagwiseUtil
