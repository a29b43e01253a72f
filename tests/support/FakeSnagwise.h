#pragma once
// An in-process diagnostics library for tests. While a FakeSnagwise exists the
// diagnostics client uses it instead of libSnagwiseUtil3.0.so, and every
// command and every record value the client hands over is kept, in order.
// Target `test_support`.
//
//   vantix::test::FakeSnagwise snag;          // client reset, fake installed
//   CodeUnderTest();                          // SW_ASSERT / SW_TRACE inside
//   EXPECT_THAT(snag.Asserts(), ElementsAre(L"m_pUpdate && \"bad update pointer\""));
//   EXPECT_THAT(snag.Traces(), Contains(HasSubstr(L"Chart : Load data to chart")));
//
// Asserts() are the "Description" texts of the ASSERT records (L"" for
// SW_ASSERT_HR, which carries "HRESULT" instead), Traces() the "$Message" texts
// of the TRACE records; Records() gives every record with all its values.
//
// Verdicts: SetResult(L"FILTER", 1) makes assertions "break into the debugger"
// (counted by DebugBreaks(), no real break); SetResult(L"PROCESS", E_ABORT)
// ends the process with status 255 (use a death test). SetAvailable(false)
// makes the library look missing; SetResult(L"INIT", E_FAIL) makes INIT fail.
//
// Construction and destruction reset the client (a process singleton) to its
// fresh state, so each test starts with a client that initialises on first use.
// Only one FakeSnagwise at a time.
#include "diagnostics/SnagwiseClient.h"

#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantix::test {

struct FakeValue {
    std::wstring key;
    VARIANT value;
};

// One record object created with "CREATE".
struct FakeRecord {
    std::vector<FakeValue> writes;       // every SetValue, in writing order
    std::vector<std::wstring> commands;  // commands the record was sent with

    // Keys of the writes, in order (a key written twice appears twice).
    std::vector<std::wstring> Keys() const;
    bool Has(const std::wstring& key) const;
    // The first value written under key; nullptr when absent.
    const VARIANT* Find(const std::wstring& key) const;
    // VT_BSTR text of key; empty when absent.
    std::wstring String(const std::wstring& key) const;
    std::wstring Type() const { return String(L"$Type"); }
};

struct FakeCommand {
    std::wstring command;
    int record; // index into Records(), -1 for commands without a record
};

class FakeSnagwise {
public:
    FakeSnagwise();
    ~FakeSnagwise();
    FakeSnagwise(const FakeSnagwise&) = delete;
    FakeSnagwise& operator=(const FakeSnagwise&) = delete;

    // ---- behaviour
    // false: SW_InitObject is "not found" (the library is missing).
    void SetAvailable(bool available);
    // Answer of SW_InitObject (a failure stores no object).
    void SetInitObjectResult(HRESULT hr);
    // Answer to one command ("CREATE", "INIT", "FILTER", "PROCESS", "DEINIT", ...); S_OK by default.
    void SetResult(const std::wstring& command, HRESULT hr);
    void SetSecondaryInitResult(HRESULT hr); // E_FAIL by default
    // Called on every command, before it is answered (from the calling thread).
    void OnCommand(std::function<void(const std::wstring& command)> callback);

    // ---- what the client did
    std::vector<FakeCommand> Commands() const;
    std::vector<std::wstring> CommandNames() const;
    std::vector<FakeRecord> Records() const;
    // Records whose "$Type" is type (INIT records have none: pass L"").
    std::vector<FakeRecord> RecordsOfType(const std::wstring& type) const;
    std::vector<std::wstring> Asserts() const;
    std::vector<std::wstring> Traces() const;
    int InitObjectCalls() const;
    int SecondaryInitCalls() const;
    int FailureBoxes() const;  // "Snagwise Init Failed." boxes the client would have shown
    int DebugBreaks() const;   // breaks the client would have made under a debugger
    // Forgets every observation (the configuration stays).
    void Clear();

    // The client back to fresh (DEINIT sent if it was enabled).
    static void ResetClient();

    struct Data;

private:
    std::shared_ptr<Data> m_pData;
    SnagwiseUtil::ClientTestHooks m_previousHooks;
};

// A pointer as a trace's "%p" writes it.
inline std::wstring PointerText(const void* p)
{
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%p", p);
    return buf;
}

} // namespace vantix::test
