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
// (counted by Calls(L"debugBreak"), no real break); SetResult(L"PROCESS", E_ABORT)
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
#include <string>
#include <utility>
#include <vector>

namespace vantix::test {

// One record object created with "CREATE".
struct FakeRecord {
    std::vector<std::pair<std::wstring, VARIANT>> writes; // every SetValue, in writing order
    std::vector<std::wstring> commands;                   // commands the record was sent with

    // Keys of the writes, in order (a key written twice appears twice).
    std::vector<std::wstring> Keys() const;
    // "key=value" per write, in order. Numbers carry their type ("Line=int:42",
    // "Thread ID=ui4:7"), texts do not, and an empty value leaves "key" alone.
    std::vector<std::wstring> Values() const;
    // The first value written under key; nullptr when absent.
    const VARIANT* Find(const std::wstring& key) const;
    // VT_BSTR text of key; empty when absent.
    std::wstring String(const std::wstring& key) const;
};

class FakeSnagwise {
public:
    FakeSnagwise();
    ~FakeSnagwise();
    FakeSnagwise(const FakeSnagwise&) = delete;
    FakeSnagwise& operator=(const FakeSnagwise&) = delete;

    // Answer to one command ("CREATE", "INIT", "FILTER", "PROCESS", "DEINIT", ...),
    // S_OK by default. The library's entry points answer the same way:
    // L"SW_InitObject" (a failure stores no object) and L"SecondaryInit" (E_FAIL by default).
    void SetResult(const std::wstring& command, HRESULT hr);
    // false: the library is missing.
    void SetAvailable(bool available) { SetResult(L"SW_InitObject", available ? S_OK : E_FAIL); }
    // Called on every command, before it is answered (from the calling thread).
    void OnCommand(std::function<void(const std::wstring& command)> callback);

    // What the client did so far.
    struct Seen {
        std::vector<std::wstring> commands; // every command, in order
        std::vector<FakeRecord> records;
        // Calls of each command, entry point, and of what the client would have
        // done in a real session: L"failureBox" ("Snagwise Init Failed." boxes
        // shown) and L"debugBreak" (breaks under a debugger).
        std::map<std::wstring, int> calls;
    };
    Seen Snapshot() const;
    std::vector<std::wstring> Commands() const { return Snapshot().commands; }
    std::vector<FakeRecord> Records() const { return Snapshot().records; }
    int Calls(const std::wstring& what) const { return Snapshot().calls[what]; }
    // Records whose "$Type" is type (INIT records have none: pass L"").
    std::vector<FakeRecord> RecordsOfType(const std::wstring& type) const;
    // The text under key of every record of that type.
    std::vector<std::wstring> Texts(const std::wstring& type, const std::wstring& key) const;
    std::vector<std::wstring> Asserts() const { return Texts(L"ASSERT", L"Description"); }
    std::vector<std::wstring> Traces() const { return Texts(L"TRACE", L"$Message"); }
    // Forgets every observation (the configuration stays).
    void Clear();

    // The client back to fresh (DEINIT sent if it was enabled).
    static void ResetClient() { SnagwiseUtil::GetSnagwiseClient()->ResetForTesting(); }

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
