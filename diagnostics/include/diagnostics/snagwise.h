#pragma once
// Call-site side of the diagnostics client: every consistency check and trace
// line of the program goes through these macros.
//
//   SW_ASSERT(cond)        fires when cond is false; the record's "Description"
//                          is the preprocessed condition text, e.g.
//                          ((HRESULT)(hr) >= 0) && L"error while Enable WireFrame"
//   SW_ASSERT_HR(hr)       fires when hr is not S_OK; carries "HRESULT"
//   SW_TRACE(fmt, ...)     printf-style wide format (glibc conversions: %ls for
//                          a wide string, %s for a narrow one); always formatted,
//                          cut at 4095 characters
//   SW_CHECK_POINTER(p)    throws when p is null
//
// Without the diagnostics library every macro is silent and the program goes on.
// The client itself: diagnostics/SnagwiseClient.h; the process-wide handlers:
// diagnostics/ExceptionHandlers.h.
#include "platform/hresult.h"

namespace SnagwiseUtil {

struct CallSite {
    const char* file;
    int line;
    const char* function;  // __func__; records carry the qualified name,
                           // "CChart::GetErrorDescription", taken from signature
    const char* signature; // __PRETTY_FUNCTION__, the full prototype text
};

// Reports a fired check and acts on the library's verdict (1: break into an
// attached debugger; E_ABORT: deinitialise and end the process with -1).
// Returns the verdict.
HRESULT AssertFired(const CallSite& site, const char* description);
HRESULT AssertHrFired(const CallSite& site, HRESULT hr);
void Trace(const CallSite& site, const wchar_t* format, ...);
[[noreturn]] void ThrowBadPointer(const CallSite& site);

} // namespace SnagwiseUtil

#define SW_STRINGIZE_I(x) #x
#define SW_STRINGIZE(x) SW_STRINGIZE_I(x)
#define SW_CALLSITE (::SnagwiseUtil::CallSite{__FILE__, __LINE__, __func__, __PRETTY_FUNCTION__})

// The argument is expanded before it is stringized, so SUCCEEDED(hr) reads
// ((HRESULT)(hr) >= 0) in the record.
#define SW_ASSERT(cond) SW_ASSERT_I(cond, SW_STRINGIZE(cond))
#define SW_ASSERT_I(cond, text)                                      \
    do {                                                             \
        if (!(cond))                                                 \
            ::SnagwiseUtil::AssertFired(SW_CALLSITE, text);          \
    } while (0)

// A soft assert that recovers: reports as SW_ASSERT does (the same text) and
// then runs action (return, continue, ...) in the caller's scope.
#define SW_ASSERT_OR(cond, action)                                   \
    if (cond) {                                                      \
    } else {                                                         \
        ::SnagwiseUtil::AssertFired(SW_CALLSITE, SW_STRINGIZE(cond)); \
        action;                                                      \
    }

#define SW_ASSERT_HR(hr)                                             \
    do {                                                             \
        const HRESULT sw_hr_ = (hr);                                 \
        if (sw_hr_ != S_OK)                                          \
            ::SnagwiseUtil::AssertHrFired(SW_CALLSITE, sw_hr_);      \
    } while (0)

#define SW_TRACE(...) ::SnagwiseUtil::Trace(SW_CALLSITE, __VA_ARGS__)

#define SW_CHECK_POINTER(p)                                          \
    do {                                                             \
        if (!(p))                                                    \
            ::SnagwiseUtil::ThrowBadPointer(SW_CALLSITE);            \
    } while (0)
