// The client's life: initialisation and retry, verdicts, commands, errno.
#include "diagnostics/QtInterface.h"
#include "diagnostics/SnagwiseClient.h"
#include "diagnostics/snagwise.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <thread>

using namespace testing;
using SnagwiseUtil::GetSnagwiseClient;
using vantix::test::FakeSnagwise;

namespace {

HRESULT FireAssert()
{
    return SnagwiseUtil::AssertFired(SW_CALLSITE, "fired");
}

// Points the per-user settings at a private folder for one test.
class ScopedUserSettings {
public:
    ScopedUserSettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    }
    ~ScopedUserSettings()
    {
        const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           xdg.isEmpty() ? QDir::homePath() + "/.config" : QString::fromLocal8Bit(xdg));
    }
    void EnableFailureBox()
    {
        QSettings(QStringLiteral("Qorvex"), QStringLiteral("Snagwise")).setValue(QStringLiteral("Default"), 1);
    }

private:
    QTemporaryDir m_dir;
};

TEST(Client, InitRecordIsSentOnFirstUse)
{
    FakeSnagwise snag;
    SW_TRACE(L"first");
    EXPECT_THAT(snag.CommandNames(), ElementsAre(L"CREATE", L"INIT", L"CREATE", L"PROCESS"));
    const auto init = snag.Records().front();
    EXPECT_THAT(init.Keys(), ElementsAre(L"LogDirectory", L"ModuleAddr", L"ModuleName", L"ReleaseMode",
                                         L"ClientVersion"));
    EXPECT_THAT(init.commands, ElementsAre(L"CREATE", L"INIT"));
    EXPECT_EQ(init.String(L"LogDirectory"), L"");
    EXPECT_EQ(init.Find(L"ModuleAddr")->vt, platform::VT_UI8);
    EXPECT_EQ(init.Find(L"ModuleAddr")->ullVal, reinterpret_cast<std::uintptr_t>(GetSnagwiseClient()));
    EXPECT_EQ(init.String(L"ModuleName"), L"diagnostics_tests");
    EXPECT_EQ(init.Find(L"ReleaseMode")->vt, platform::VT_BOOL);
    EXPECT_TRUE(init.Find(L"ReleaseMode")->boolVal);
    EXPECT_EQ(init.String(L"ClientVersion"), L"2.2 05.05.2006");

    SW_TRACE(L"second");
    EXPECT_EQ(snag.InitObjectCalls(), 1);
    EXPECT_THAT(snag.Traces(), ElementsAre(L"first", L"second"));
}

TEST(Client, WithoutLibraryEveryMacroIsSilentAndTheProgramGoesOn)
{
    ScopedUserSettings settings;
    FakeSnagwise snag;
    snag.SetAvailable(false);
    errno = EINTR;
    SW_TRACE(L"dropped %d", 1);
    SW_ASSERT(false);
    SW_ASSERT_HR(E_FAIL);
    EXPECT_EQ(FireAssert(), E_FAIL);
    EXPECT_EQ(errno, EINTR);
    EXPECT_TRUE(snag.Commands().empty());
    EXPECT_EQ(snag.FailureBoxes(), 0);
    EXPECT_FALSE(GetSnagwiseClient()->IsActive());
    EXPECT_EQ(GetSnagwiseClient()->IsClean(), E_FAIL);
}

TEST(Client, FailedInitIsRetriedOnEveryAccess)
{
    FakeSnagwise snag;
    snag.SetResult(L"INIT", E_FAIL);
    SW_TRACE(L"lost 1");
    SW_TRACE(L"lost 2");
    EXPECT_EQ(snag.InitObjectCalls(), 2);
    EXPECT_EQ(snag.SecondaryInitCalls(), 2);
    EXPECT_TRUE(snag.Traces().empty());
    EXPECT_FALSE(GetSnagwiseClient()->Attempted());

    snag.SetResult(L"INIT", S_OK);
    SW_TRACE(L"kept");
    EXPECT_EQ(snag.InitObjectCalls(), 3);
    EXPECT_THAT(snag.Traces(), ElementsAre(L"kept"));
}

// A failed INIT is rescued by the secondary init, which needs an object.
TEST(Client, SecondaryInitRescuesAFailedInitGivenAnObject)
{
    {
        FakeSnagwise snag;
        snag.SetResult(L"INIT", E_FAIL);
        snag.SetSecondaryInitResult(S_OK);
        SW_TRACE(L"kept");
        EXPECT_EQ(snag.SecondaryInitCalls(), 1);
        EXPECT_THAT(snag.Traces(), ElementsAre(L"kept"));
    }
    FakeSnagwise snag;
    snag.SetInitObjectResult(E_OUTOFMEMORY);
    SW_TRACE(L"lost");
    EXPECT_EQ(snag.SecondaryInitCalls(), 0);
    EXPECT_TRUE(snag.Commands().empty());
}

TEST(Client, FailureBoxOnlyWhenTheSettingExists)
{
    ScopedUserSettings settings;
    FakeSnagwise snag;
    snag.SetResult(L"INIT", E_FAIL);
    SnagwiseUtil::InstallQtClientInterface();
    SW_TRACE(L"lost");
    EXPECT_EQ(snag.FailureBoxes(), 0);

    settings.EnableFailureBox();
    SW_TRACE(L"lost");
    SW_ASSERT(false);
    EXPECT_EQ(snag.FailureBoxes(), 2); // once per failed attempt

    // The library alone (a batch tool) reads no setting and shows no box.
    SnagwiseUtil::SetClientInterface({});
    SW_TRACE(L"lost");
    EXPECT_EQ(snag.FailureBoxes(), 2);
}

// The verdict of FILTER, else of PROCESS, is the assert's result; 1 breaks
// into the debugger and goes on.
TEST(Client, VerdictsOfFilterAndProcess)
{
    const struct {
        HRESULT filter, process, verdict;
        int breaks;
    } cases[] = {{0x20, S_OK, 0x20, 0}, {1, S_OK, 1, 1}, {S_OK, 1, 1, 1}, {S_OK, E_FAIL, E_FAIL, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.filter << " " << c.process);
        FakeSnagwise snag;
        snag.SetResult(L"FILTER", c.filter);
        snag.SetResult(L"PROCESS", c.process);
        EXPECT_EQ(FireAssert(), c.verdict);
        EXPECT_EQ(snag.DebugBreaks(), c.breaks);
        const auto commands = snag.RecordsOfType(L"ASSERT").front().commands;
        EXPECT_EQ(commands.size(), c.filter == S_OK ? 3u : 2u); // CREATE, FILTER and PROCESS unless FILTER decided
    }
}

TEST(Client, CreateFailureIsTheVerdictAndNothingIsSent)
{
    FakeSnagwise snag;
    SW_TRACE(L"init first");
    snag.Clear();
    snag.SetResult(L"CREATE", 0x7);
    EXPECT_EQ(FireAssert(), 0x7);
    SW_TRACE(L"lost");
    EXPECT_THAT(snag.CommandNames(), ElementsAre(L"CREATE", L"CREATE"));
    EXPECT_TRUE(snag.Records().empty());
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

TEST(Client, ErrnoSurvivesEveryOperationEvenWhenTheLibraryChangesIt)
{
    FakeSnagwise snag;
    snag.OnCommand([](const std::wstring&) { errno = ENOSPC; });
    int dummy = 0;
    auto* client = GetSnagwiseClient();
    const std::function<void()> operations[] = {
        [] { SW_TRACE(L"%d", 1); },
        [] { SW_ASSERT(false); },
        [] { SW_ASSERT_HR(E_FAIL); },
        [&] { SW_CHECK_POINTER(&dummy); },
        [] {
            try {
                SW_CHECK_POINTER(static_cast<void*>(nullptr));
            } catch (IQX_SnagwiseUtil::IDebugObject* record) {
                record->Release();
            }
        },
        [&] { client->IsClean(), client->TraceEnabled(), client->CheckErrors(42); },
        [&] { client->Deinit(); },
        [&] { FakeSnagwise::ResetClient(), client->Init(); },
    };
    for (std::size_t k = 0; k < std::size(operations); ++k) {
        errno = EDOM;
        operations[k]();
        EXPECT_EQ(errno, EDOM) << "operation " << k;
    }
}

TEST(Client, CommandsWithoutRecordAndTheCheckErrorsRecord)
{
    FakeSnagwise snag;
    snag.SetResult(L"IS CLEAN", S_FALSE);
    auto* client = GetSnagwiseClient();
    EXPECT_EQ(client->IsClean(), S_FALSE);
    EXPECT_EQ(client->DoClean(), S_OK);
    EXPECT_EQ(client->ReportDialog(), S_OK);
    EXPECT_EQ(client->TraceEnabled(), S_OK);
    EXPECT_THAT(snag.CommandNames(),
                ElementsAre(L"CREATE", L"INIT", L"IS CLEAN", L"DO CLEAN", L"REPORTDIALOG", L"TRACEENABLED"));
    const auto commands = snag.Commands();
    for (std::size_t i = 2; i < commands.size(); ++i)
        EXPECT_EQ(commands[i].record, -1);

    // CheckErrors alone sends a record: the handle it was given.
    EXPECT_EQ(client->CheckErrors(0x1234567890ull), S_OK);
    const auto records = snag.RecordsOfType(L"CHECK ERRORS");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_THAT(records[0].Keys(), ElementsAre(L"$Type", L"Handle"));
    EXPECT_EQ(records[0].Find(L"Handle")->ullVal, 0x1234567890ull);
    EXPECT_THAT(records[0].commands, ElementsAre(L"CREATE", L"PROCESS"));
}

TEST(Client, DeinitDisablesForGood)
{
    FakeSnagwise snag;
    auto* client = GetSnagwiseClient();
    EXPECT_TRUE(client->IsActive());
    client->Deinit();
    client->Deinit();
    SW_TRACE(L"after");
    EXPECT_EQ(FireAssert(), E_FAIL);
    EXPECT_EQ(client->DoClean(), E_FAIL);
    EXPECT_THAT(snag.CommandNames(), ElementsAre(L"CREATE", L"INIT", L"DEINIT"));
    EXPECT_EQ(snag.InitObjectCalls(), 1);
    EXPECT_TRUE(client->Attempted());
    EXPECT_FALSE(client->Enabled());
}

TEST(Client, ConcurrentFirstUseInitialisesOnce)
{
    FakeSnagwise snag;
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([i] {
            for (int k = 0; k < 20; ++k)
                SW_TRACE(L"thread %d line %d", i, k);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(snag.InitObjectCalls(), 1);
    EXPECT_EQ(snag.Traces().size(), static_cast<std::size_t>(kThreads * 20));
}

TEST(Client, ExceptionRecordKeysAndPointerCopy)
{
    FakeSnagwise snag;
    IQX_SnagwiseUtil::EXCEPTION_RECORD record = {};
    record.ExceptionCode = IQX_SnagwiseUtil::EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionFlags = 1;
    record.ExceptionAddress = 0x7fff12345678ull;
    record.Signal = 11;
    IQX_SnagwiseUtil::CONTEXT context = {};
    IQX_SnagwiseUtil::EXCEPTION_POINTERS pointers{&record, &context};
    IQX_SnagwiseUtil::EXCEPTION_RECORD seen = {};
    IQX_SnagwiseUtil::CONTEXT* seenContext = nullptr;
    // Read the pair while the record is being processed, as a library would.
    snag.OnCommand([&](const std::wstring& c) {
        if (c != L"PROCESS")
            return;
        const auto r = snag.RecordsOfType(L"EXCEPTION");
        if (r.empty())
            return;
        auto* p = reinterpret_cast<IQX_SnagwiseUtil::EXCEPTION_POINTERS*>(r[0].Find(L"$EXCEPTION_POINTERS")->ullVal);
        seen = *p->ExceptionRecord;
        seenContext = p->ContextRecord;
        EXPECT_NE(p->ExceptionRecord, &record); // a copy
    });
    EXPECT_EQ(GetSnagwiseClient()->ReportException(1, pointers), S_OK);
    const auto r = snag.RecordsOfType(L"EXCEPTION");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_THAT(r[0].Keys(), ElementsAre(L"<<EXCEPTION>>", L"$Type", L"ExceptionType", L"ErrorCode", L"Thread ID",
                                         L"Code", L"Continuable", L"Address", L"$EXCEPTION_POINTERS",
                                         L"$EXCEPTION_POINTERS"));
    EXPECT_EQ(r[0].Find(L"ExceptionType")->intVal, 1);
    EXPECT_EQ(r[0].Find(L"ErrorCode")->ulVal, 0xC0000005u);
    EXPECT_EQ(r[0].Find(L"Code")->ulVal, 0xC0000005u);
    EXPECT_EQ(r[0].Find(L"Continuable")->ulVal, 1u);
    EXPECT_EQ(r[0].Find(L"Address")->vt, platform::VT_UI8);
    EXPECT_EQ(r[0].Find(L"Address")->ullVal, 0x7fff12345678ull);
    EXPECT_EQ(seen.Signal, 11);
    EXPECT_EQ(seen.ExceptionAddress, 0x7fff12345678ull);
    EXPECT_EQ(seenContext, &context); // the exception's own context
}

} // namespace
