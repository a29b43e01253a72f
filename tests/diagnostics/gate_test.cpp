// The start gate: while another process holds the named semaphore at zero,
// every trace and assertion waits.
#include "diagnostics/SnagwiseClient.h"
#include "diagnostics/snagwise.h"
#include "support/FakeSnagwise.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

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

// 'T' once the child's trace has been sent, 'A' after its assertion.
char ReadByte(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, timeoutMs) == 1 && read(fd, &c, 1) == 1 ? c : 0;
}

TEST(StartGate, BlocksTracesAndAssertionsUntilPosted)
{
    ScopedGate gate;
    ASSERT_NE(gate.m_gate, SEM_FAILED);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 0;
        {
            FakeSnagwise snag; // its own reset passes the gate too
            SW_TRACE(L"behind the gate");
            status |= snag.Traces() == std::vector<std::wstring>{L"behind the gate"} ? 0 : 1;
            (void)!write(fds[1], "T", 1);
            SW_ASSERT(false);
            status |= snag.Asserts().size() == 1 ? 0 : 2;
            (void)!write(fds[1], "A", 1);
        }
        _exit(status);
    }
    close(fds[1]);
    // Nothing may pass while the gate is closed.
    EXPECT_EQ(ReadByte(fds[0], 300), 0);
    ASSERT_EQ(sem_post(gate.m_gate), 0);
    EXPECT_EQ(ReadByte(fds[0], 20000), 'T');
    EXPECT_EQ(ReadByte(fds[0], 20000), 'A');
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(fds[0]);
    // Every waiter posts again: the gate stays open.
    int value = -1;
    sem_getvalue(gate.m_gate, &value);
    EXPECT_EQ(value, 1);
}

TEST(StartGate, AbsentGateDoesNotBlock)
{
    ScopedGate gate;
    sem_unlink(SnagwiseUtil::ClientHooksForTesting().startGateName.c_str());
    FakeSnagwise snag;
    SW_TRACE(L"open");
    EXPECT_THAT(snag.Traces(), ElementsAre(L"open"));
    EXPECT_THAT(SnagwiseUtil::StartGateName(), MatchesRegex("/\\{[-0-9A-F]{36}\\}"));
}

} // namespace
