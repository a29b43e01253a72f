// The process-wide handlers: SIGFPE, fatal signals and uncaught exceptions,
// Qt's critical and fatal messages.
#include "diagnostics/ExceptionHandlers.h"
#include "diagnostics/QtInterface.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <QString>
#include <QtGlobal>

#include <sys/mman.h>

#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <stdexcept>

using namespace testing;
using namespace SnagwiseUtil;
using vantix::test::FakeSnagwise;

namespace {

int g_previousFpeCalls = 0;

// The translator chains to whatever was installed before it: a counter.
void InstallTranslatorOverCounter()
{
    struct sigaction counter = {};
    counter.sa_handler = [](int) { ++g_previousFpeCalls; };
    sigemptyset(&counter.sa_mask);
    sigaction(SIGFPE, &counter, nullptr);
    InstallSeTranslator(GetSnagwiseClient());
    g_previousFpeCalls = 0;
}

TEST(SeTranslator, ReportsWithAResetFloatingPointStateAndChains)
{
    FakeSnagwise snag;
    InstallTranslatorOverCounter();
    int flagsAtReport = -1;
    snag.OnCommand([&](const std::wstring& c) {
        if (c == L"PROCESS")
            flagsAtReport = std::fetestexcept(FE_ALL_EXCEPT);
    });
    std::feraiseexcept(FE_DIVBYZERO | FE_INEXACT);
    std::raise(SIGFPE);
    EXPECT_EQ(flagsAtReport, 0);
    EXPECT_EQ(g_previousFpeCalls, 1);

    // A trapped division is reported once, then resumes masked.
    feenableexcept(FE_DIVBYZERO);
    volatile double zero = 0.0;
    volatile double one = 1.0;
    const double result = one / zero;
    fedisableexcept(FE_ALL_EXCEPT);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_TRUE(std::isinf(result));
    EXPECT_EQ(g_previousFpeCalls, 2);
    const auto r = snag.RecordsOfType(L"EXCEPTION");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_THAT(r[0].Values(), IsSupersetOf({L"ExceptionType=int:0", L"Continuable=ui4:0"}));
    EXPECT_THAT(r[1].Values(), Contains(L"Code=ui4:" + std::to_wstring(IQX_SnagwiseUtil::EXCEPTION_FLT_DIVIDE_BY_ZERO)));
}

// A break verdict returns without chaining; without the library it only chains.
TEST(SeTranslator, BreakVerdictOrNoLibrary)
{
    for (const bool available : {true, false}) {
        FakeSnagwise snag;
        snag.SetAvailable(available);
        InstallTranslatorOverCounter();
        snag.SetResult(L"PROCESS", 1);
        std::raise(SIGFPE);
        EXPECT_EQ(snag.Calls(L"debugBreak"), available ? 1 : 0);
        EXPECT_EQ(g_previousFpeCalls, available ? 0 : 1);
        EXPECT_EQ(snag.Commands().empty(), !available);
    }
}

std::vector<QString> g_previousMessages;

TEST(InvalidParameterHandler, CriticalMessagesAreReportedThenPassedOn)
{
    FakeSnagwise snag;
    const QtMessageHandler original = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { g_previousMessages.push_back(message); });
    InstallInvalidParameterHandler(GetSnagwiseClient());
    g_previousMessages.clear();
    qCritical("bad argument");
    qWarning("warned");
    EXPECT_THAT(g_previousMessages, ElementsAre("bad argument", "warned"));
    const auto r = snag.RecordsOfType(L"EXCEPTION");
    ASSERT_EQ(r.size(), 1u);
    EXPECT_THAT(r[0].Values(), IsSupersetOf({std::wstring(L"ExceptionType=int:0"),
                                             L"Code=ui4:" + std::to_wstring(IQX_SnagwiseUtil::STATUS_INVALID_PARAMETER)}));

    snag.SetAvailable(false);
    FakeSnagwise::ResetClient();
    qCritical("no library");
    EXPECT_EQ(g_previousMessages.back(), "no library");
    EXPECT_EQ(snag.RecordsOfType(L"EXCEPTION").size(), 1u);
    qInstallMessageHandler(original);
}

// A real access violation (a null store would be caught by the sanitizers first).
void WriteToInaccessiblePage()
{
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

// Out of a noexcept function: the test framework cannot catch it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wterminate"
void ThrowPastTheTestFramework() noexcept
{
    throw std::runtime_error("nobody catches this");
}
#pragma GCC diagnostic pop

TEST(UnhandledExceptionFilterDeathTest, FatalFaultsAreReportedThenTerminate)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<void (*)(), const char*> faults[] = {
        {&WriteToInaccessiblePage, "type=1 code=c0000005"},
        {[] { std::abort(); }, "type=1 code=40000015"},
        {&ThrowPastTheTestFramework, "type=1 code=e06d7363"},
    };
    for (const auto& [fault, expected] : faults) {
        EXPECT_EXIT(
            {
                FakeSnagwise snag;
                snag.OnCommand([&snag](const std::wstring& c) {
                    std::fprintf(stderr, "[%ls]", c.c_str());
                    if (c == L"TERMINATE") {
                        const auto r = snag.RecordsOfType(L"EXCEPTION").at(0);
                        std::fprintf(stderr, " type=%d code=%08x", r.Find(L"ExceptionType")->intVal,
                                     r.Find(L"Code")->ulVal);
                    }
                });
                InstallUnhandledExceptionFilter(GetSnagwiseClient());
                fault();
            },
            ExitedWithCode(255), std::string("\\[PROCESS\\]\\[TERMINATE\\] ") + expected + "$");
    }
}

TEST(UnhandledExceptionFilterDeathTest, AfterTheClientIsGoneFaultsTakeTheirDefaultCourse)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Registered before the client exists, so it runs after the client's destructor.
            std::atexit([] {
                std::fprintf(stderr, IsHandlerActive(eUnhandledFilterGuard) ? "active;" : "inactive;");
                std::raise(SIGSEGV);
            });
            InstallUnhandledExceptionFilter(GetSnagwiseClient());
            std::exit(0);
        },
        KilledBySignal(SIGSEGV), "inactive;");
}

} // namespace
