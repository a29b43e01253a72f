#pragma once
// The contract between the diagnostics client and the diagnostics library
// (libSnagwiseUtil3.0.so). The library exports
//   extern "C" HRESULT SW_InitObject(IQX_SnagwiseUtil::IDebugObject** ppObject);
// which stores an add-ref'd main object. Records are IDebugObjects too: named
// value bags created with the "CREATE" command and handed back with the
// record's final command ("INIT", "FILTER", "PROCESS").
//
// Addresses (ModuleAddr, Address, Handle, $EXCEPTION_POINTERS) are VT_UI8: a
// pointer does not fit the 32-bit slots the records once used.
#include "platform/dispatch.h"
#include "platform/unknown.h"

#include <cstdint>

namespace IQX_SnagwiseUtil {

struct IDebugObject : platform::IDispatch {
    VANTIX_INTERFACE_ID(0x5D1C7A40, 0x3E2B, 0x4F51, 0x9A, 0x6C, 0x21, 0x7E, 0x0B, 0x94, 0xC3, 0x58);
    // Second chance when INIT fails; what the library does with it is its own choice.
    virtual HRESULT SecondaryInit(const wchar_t* text1, const wchar_t* text2, std::int32_t flag) = 0;
    // record: in/out address of a record pointer, null for commands without one.
    // "CREATE" stores a new, empty, add-ref'd record through it.
    virtual HRESULT Command(IDebugObject** record, const wchar_t* command) = 0;
    virtual HRESULT GetValue(const wchar_t* name, VARIANT* value) = 0;
    virtual HRESULT SetValue(const wchar_t* name, VARIANT value) = 0;
};

using SW_InitObjectFn = HRESULT (*)(IDebugObject** ppObject);
inline constexpr const char* kInitObjectExport = "SW_InitObject";

// Class id under which the library may be listed in the component registration file.
inline constexpr platform::CLSID CLSID_SnagwiseUtil{
    0xA3F0B6E2, 0x71C4, 0x4B0D, {0x8E, 0x52, 0x6D, 0x1F, 0x90, 0x3A, 0xC7, 0x14}};

// Assertion verdicts beyond S_OK: 1 breaks into an attached debugger, E_ABORT
// ends the process.
inline constexpr HRESULT kVerdictBreak = 1;

// Fault description carried by "$EXCEPTION_POINTERS": an 80-byte record in the
// layout crash readers expect, filled with what Linux offers.
struct EXCEPTION_RECORD {
    std::uint32_t ExceptionCode;   // Windows-style code, see below
    std::uint32_t ExceptionFlags;  // bit 0: not continuable
    std::uint64_t ExceptionRecord; // chained record, always 0
    std::uint64_t ExceptionAddress;
    std::uint32_t NumberParameters;
    std::int32_t Signal;                    // signal number, 0 when not from a signal
    std::uint64_t ExceptionInformation[6];  // [0] si_code, [1] faulting data address
};
static_assert(sizeof(EXCEPTION_RECORD) == 80);

inline constexpr std::uint32_t CONTEXT_CONTROL_ONLY = 0x10001;
inline constexpr std::uint32_t CONTEXT_FULL_FLAGS = 0x10007;
inline constexpr std::uint32_t kMaxContextFrames = 62;

// Thread context: the captured call stack (return addresses, innermost first).
struct CONTEXT {
    std::uint32_t ContextFlags;
    std::uint32_t FrameCount;
    std::uint64_t Frames[kMaxContextFrames];
};

struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    CONTEXT* ContextRecord;
};

inline constexpr std::uint32_t EXCEPTION_NONCONTINUABLE = 0x1;
inline constexpr std::uint32_t EXCEPTION_ACCESS_VIOLATION = 0xC0000005;
inline constexpr std::uint32_t EXCEPTION_IN_PAGE_ERROR = 0xC0000006;
inline constexpr std::uint32_t STATUS_INVALID_PARAMETER = 0xC000000D;
inline constexpr std::uint32_t EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001D;
inline constexpr std::uint32_t EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008D;
inline constexpr std::uint32_t EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008E;
inline constexpr std::uint32_t EXCEPTION_FLT_INEXACT_RESULT = 0xC000008F;
inline constexpr std::uint32_t EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090;
inline constexpr std::uint32_t EXCEPTION_FLT_OVERFLOW = 0xC0000091;
inline constexpr std::uint32_t EXCEPTION_FLT_STACK_CHECK = 0xC0000092;
inline constexpr std::uint32_t EXCEPTION_FLT_UNDERFLOW = 0xC0000093;
inline constexpr std::uint32_t EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094;
inline constexpr std::uint32_t EXCEPTION_INT_OVERFLOW = 0xC0000095;
inline constexpr std::uint32_t STATUS_FATAL_APP_EXIT = 0x40000015; // abort()
inline constexpr std::uint32_t EXCEPTION_CPP = 0xE06D7363;         // uncaught C++ exception

// IDispatch part of every IDebugObject implementation: no late binding offered.
class DebugObjectBase : public platform::ComObject<IDebugObject> {
public:
    HRESULT GetTypeInfoCount(std::uint32_t* pctinfo) override
    {
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t, LCID, platform::ITypeInfo** pp) override
    {
        if (pp)
            *pp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(REFIID, const wchar_t* const*, std::uint32_t, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                   std::uint32_t*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    bool QueryExtra(REFIID riid, void** ppv) override
    {
        if (riid == platform::uuidof<platform::IDispatch>()) {
            *ppv = static_cast<platform::IDispatch*>(this);
            return true;
        }
        return false;
    }
};

} // namespace IQX_SnagwiseUtil
