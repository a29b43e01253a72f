// The start gate: while another process holds the named semaphore at zero,
// every trace and assertion waits.
#include "diagnostics/SnagwiseClient.h"
#include "diagnostics/snagwise.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <semaphore.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

using namespace testing;
using vantix::test::FakeSnagwise;

namespace {

// A private gate name, so that a failing test never blocks other programs.
class ScopedGate {
public:
    ScopedGate() : m_name("/vantix-test-gate-" + std::to_string(::getpid()))
    {
        sem_unlink(m_name.c_str());
        m_gate = sem_open(m_name.c_str(), O_CREAT | O_EXCL, 0600, 0);
        std::swap(SnagwiseUtil::ClientHooksForTesting().startGateName, m_name);
    }
    ~ScopedGate()
    {
        std::swap(SnagwiseUtil::ClientHooksForTesting().startGateName, m_name);
        if (m_gate != SEM_FAILED)
            sem_close(m_gate);
        sem_unlink(m_name.c_str());
    }
    std::string m_name; // the previous name while installed
    sem_t* m_gate = SEM_FAILED;
};

TEST(StartGate, BlocksTracesUntilPostedAndStaysOpenOrIsAbsent)
{
    FakeSnagwise snag;
    ScopedGate gate;
    ASSERT_NE(gate.m_gate, SEM_FAILED);
    std::atomic<bool> posted = false;
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        posted = true;
        sem_post(gate.m_gate);
    });
    SW_TRACE(L"behind the gate");
    EXPECT_TRUE(posted);
    opener.join();
    // Every waiter posts again: the gate stays open.
    int value = -1;
    sem_getvalue(gate.m_gate, &value);
    EXPECT_EQ(value, 1);
    // An absent gate lets everything through.
    sem_unlink(SnagwiseUtil::ClientHooksForTesting().startGateName.c_str());
    SW_TRACE(L"open");
    EXPECT_THAT(snag.Traces(), ElementsAre(L"behind the gate", L"open"));
    EXPECT_THAT(SnagwiseUtil::StartGateName(), MatchesRegex("/\\{[-0-9A-F]{36}\\}"));
}

} // namespace
