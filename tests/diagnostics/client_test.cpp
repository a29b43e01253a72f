// The client's life: initialisation and retry, verdicts, commands, errno.
#include "diagnostics/SnagwiseClient.h"
#include "diagnostics/snagwise.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <cerrno>
#include <cstdio>

using namespace testing;
using SnagwiseUtil::GetSnagwiseClient;
using vantix::test::FakeSnagwise;

namespace {

HRESULT FireAssert()
{
    return SnagwiseUtil::AssertFired(SW_CALLSITE, "fired");
}

struct Client : Test {
    FakeSnagwise snag;
    SnagwiseUtil::SnagwiseClient* const client = GetSnagwiseClient();
};

// One session: INIT on first use, commands with and without a record, DEINIT
// for good; errno stays, even though the library changes it.
TEST_F(Client, ASessionFromInitToDeinit)
{
    snag.SetResult(L"IS CLEAN", S_FALSE);
    snag.OnCommand([](const std::wstring&) { errno = ENOSPC; });
    errno = EDOM;
    SW_TRACE(L"first");
    SW_TRACE(L"second");
    EXPECT_TRUE(client->IsActive());
    EXPECT_EQ(client->IsClean(), S_FALSE);
    EXPECT_EQ(client->DoClean(), S_OK);
    EXPECT_EQ(client->ReportDialog(), S_OK);
    EXPECT_EQ(client->TraceEnabled(), S_OK);
    EXPECT_EQ(client->CheckErrors(0x1234567890ull), S_OK);
    client->Deinit();
    SW_TRACE(L"after");
    EXPECT_EQ(FireAssert(), E_FAIL);
    EXPECT_EQ(client->DoClean(), E_FAIL);
    EXPECT_EQ(errno, EDOM);
    EXPECT_FALSE(client->Enabled());
    EXPECT_EQ(snag.Calls(L"SW_InitObject"), 1);

    EXPECT_THAT(snag.Commands(),
                ElementsAre(L"CREATE", L"INIT", L"CREATE", L"PROCESS", L"CREATE", L"PROCESS", L"IS CLEAN", L"DO CLEAN",
                            L"REPORTDIALOG", L"TRACEENABLED", L"CREATE", L"PROCESS", L"DEINIT"));
    const auto records = snag.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_THAT(records[0].Values(),
                ElementsAre(L"LogDirectory=", L"ModuleAddr=ui8:" + std::to_wstring(reinterpret_cast<std::uintptr_t>(client)),
                            L"ModuleName=diagnostics_tests", L"ReleaseMode=bool:true", L"ClientVersion=2.2 05.05.2006"));
    EXPECT_THAT(snag.Traces(), ElementsAre(L"first", L"second"));
    // CheckErrors alone sends a record: the handle it was given.
    EXPECT_THAT(records[3].Values(), ElementsAre(L"$Type=CHECK ERRORS", L"Handle=ui8:" + std::to_wstring(0x1234567890ull)));
    EXPECT_THAT(records[3].commands, ElementsAre(L"CREATE", L"PROCESS"));
}

TEST_F(Client, WithoutLibraryEveryMacroIsSilentAndTheProgramGoesOn)
{
    snag.SetAvailable(false);
    errno = EINTR;
    SW_TRACE(L"dropped %d", 1);
    SW_ASSERT(false);
    SW_ASSERT_HR(E_FAIL);
    EXPECT_EQ(FireAssert(), E_FAIL);
    EXPECT_EQ(errno, EINTR);
    EXPECT_TRUE(snag.Commands().empty());
    EXPECT_FALSE(client->IsActive());
    EXPECT_EQ(client->IsClean(), E_FAIL);
}

// A failed INIT is rescued by the secondary init, which needs an object; when
// neither helps nothing is kept and the next access tries again.
TEST(ClientInit, FailuresAreRescuedOrRetriedOnTheNextAccess)
{
    const struct {
        const wchar_t* failing;
        HRESULT secondary;
        int secondaryCalls;
        bool kept;
    } cases[] = {{L"INIT", E_FAIL, 1, false}, {L"INIT", S_OK, 1, true}, {L"SW_InitObject", S_OK, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.secondary << " " << c.secondaryCalls);
        FakeSnagwise snag;
        snag.SetResult(c.failing, E_OUTOFMEMORY);
        snag.SetResult(L"SecondaryInit", c.secondary);
        SW_TRACE(L"first");
        EXPECT_EQ(snag.Calls(L"SecondaryInit"), c.secondaryCalls);
        EXPECT_EQ(GetSnagwiseClient()->Attempted(), c.kept);
        EXPECT_EQ(snag.Traces().size(), c.kept ? 1u : 0u);
        snag.SetResult(c.failing, S_OK);
        SW_TRACE(L"second");
        EXPECT_EQ(snag.Calls(L"SW_InitObject"), c.kept ? 1 : 2);
        EXPECT_EQ(snag.Traces().back(), L"second");
    }
}

// The verdict of FILTER, else of PROCESS, is the assert's result; 1 breaks
// into the debugger and goes on. A failed CREATE is the verdict too.
TEST(ClientVerdict, OfCreateFilterAndProcess)
{
    const struct {
        HRESULT create, filter, process, verdict;
        int breaks;
        std::vector<std::wstring> commands;
    } cases[] = {{S_OK, 0x20, S_OK, 0x20, 0, {L"CREATE", L"FILTER"}},
                 {S_OK, 1, S_OK, 1, 1, {L"CREATE", L"FILTER"}},
                 {S_OK, S_OK, 1, 1, 1, {L"CREATE", L"FILTER", L"PROCESS"}},
                 {S_OK, S_OK, E_FAIL, E_FAIL, 0, {L"CREATE", L"FILTER", L"PROCESS"}},
                 {0x7, S_OK, S_OK, 0x7, 0, {L"CREATE"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.create << " " << c.filter << " " << c.process);
        FakeSnagwise snag;
        SW_TRACE(L"init first");
        snag.Clear();
        snag.SetResult(L"CREATE", c.create);
        snag.SetResult(L"FILTER", c.filter);
        snag.SetResult(L"PROCESS", c.process);
        EXPECT_EQ(FireAssert(), c.verdict);
        EXPECT_EQ(snag.Calls(L"debugBreak"), c.breaks);
        EXPECT_EQ(snag.Commands(), c.commands);
    }
}

TEST(ClientDeathTest, AbortVerdictDeinitialisesAndEndsTheProcessWith255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const wchar_t* command : {L"FILTER", L"PROCESS"}) {
        EXPECT_EXIT(
            {
                FakeSnagwise snag;
                snag.SetResult(command, E_ABORT);
                snag.OnCommand([](const std::wstring& c) { std::fprintf(stderr, "[%ls]", c.c_str()); });
                SW_ASSERT(false);
                std::fprintf(stderr, "went on");
                std::exit(0);
            },
            ExitedWithCode(255), "\\[(FILTER|PROCESS)\\]\\[DEINIT\\]$");
    }
}

TEST_F(Client, ExceptionRecordKeysAndPointerCopy)
{
    IQX_SnagwiseUtil::EXCEPTION_RECORD record = {};
    record.ExceptionCode = IQX_SnagwiseUtil::EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionFlags = 1;
    record.ExceptionAddress = 0x7fff12345678ull;
    record.Signal = 11;
    IQX_SnagwiseUtil::CONTEXT context = {};
    IQX_SnagwiseUtil::EXCEPTION_RECORD seen = {};
    const void* seenRecord = nullptr;
    IQX_SnagwiseUtil::CONTEXT* seenContext = nullptr;
    // Read the pair while the record is being processed, as a library would.
    snag.OnCommand([&](const std::wstring& c) {
        const auto r = snag.RecordsOfType(L"EXCEPTION");
        if (c != L"PROCESS" || r.empty())
            return;
        const auto* p = reinterpret_cast<IQX_SnagwiseUtil::EXCEPTION_POINTERS*>(r[0].Find(L"$EXCEPTION_POINTERS")->ullVal);
        seen = *p->ExceptionRecord, seenRecord = p->ExceptionRecord, seenContext = p->ContextRecord;
    });
    EXPECT_EQ(client->ReportException(1, {&record, &context}), S_OK);
    const auto r = snag.RecordsOfType(L"EXCEPTION");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_THAT(r[0].Values(), ElementsAre(L"<<EXCEPTION>>", L"$Type=EXCEPTION", L"ExceptionType=int:1",
                                           L"ErrorCode=ui4:" + std::to_wstring(0xC0000005u), StartsWith(L"Thread ID=ui4:"),
                                           L"Code=ui4:" + std::to_wstring(0xC0000005u), L"Continuable=ui4:1",
                                           L"Address=ui8:" + std::to_wstring(0x7fff12345678ull), _, L"$EXCEPTION_POINTERS=ui8:0"));
    // A copy of the record, with the exception's own context.
    EXPECT_TRUE(seenRecord != &record && seen.Signal == 11 && seenContext == &context);
}

} // namespace
