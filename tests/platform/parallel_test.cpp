#include "platform/parallel.h"
#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(Parallel, EveryPartOnceAndOnlyOnTheCallerWithoutThreads)
{
    const std::thread::id caller = std::this_thread::get_id();
    for (const bool helpers : {true, false})
        for (const int parts : {0, 1, 2, 3, 17}) {
            SCOPED_TRACE(testing::Message() << "parts " << parts << (helpers ? "" : ", no thread"));
            std::optional<platform::ScopedThreadStartFailure> none;
            if (!helpers)
                none.emplace();
            std::vector<std::atomic<int>> runs(static_cast<std::size_t>(parts));
            std::atomic<int> elsewhere{0};
            platform::ParallelFor(parts, [&](int p, int n) {
                EXPECT_EQ(n, parts);
                ++runs[std::size_t(p)];
                elsewhere += std::this_thread::get_id() != caller;
            });
            for (int p = 0; p < parts; ++p)
                EXPECT_EQ(runs[std::size_t(p)], 1) << "part " << p;
            if (!helpers) {
                EXPECT_EQ(elsewhere, 0);
            }
        }
}

TEST(Parallel, RethrowsTheLowestFailingPartAfterAllEnded)
{
    struct Case {
        bool helpers;
        std::vector<int> failing;
        int expected;
    };
    const Case cases[] = {{true, {1}, 1}, {true, {3, 2}, 2}, {true, {0, 5}, 0}, {false, {4, 2}, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first failing " << c.expected << (c.helpers ? "" : ", no thread"));
        std::optional<platform::ScopedThreadStartFailure> none;
        if (!c.helpers)
            none.emplace();
        std::atomic<int> ended{0};
        try {
            platform::ParallelFor(6, [&](int p, int) {
                std::this_thread::sleep_for(std::chrono::milliseconds(p == 5 ? 30 : 1));
                ++ended;
                for (const int f : c.failing)
                    if (p == f)
                        throw std::runtime_error(std::to_string(p));
            });
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), std::to_string(c.expected));
        }
        EXPECT_EQ(ended, 6);
    }
}

TEST(Parallel, WaitingRunsWhileHelpersWorkAndItsThrowComesLast)
{
    std::atomic<bool> release{false}, helped{false};
    std::atomic<int> waits{0};
    const std::thread::id caller = std::this_thread::get_id();
    try {
        // A part on a helper ends only once the caller has waited three times.
        platform::ParallelFor(
            2,
            [&](int, int) {
                if (std::this_thread::get_id() == caller) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    return;
                }
                helped = true;
                while (!release)
                    std::this_thread::yield();
            },
            [&] {
                if (++waits == 3) {
                    release = true;
                    throw std::logic_error("cancelled");
                }
            });
        EXPECT_FALSE(helped);
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "cancelled");
        EXPECT_TRUE(helped);
    }
    EXPECT_EQ(waits, helped ? 3 : 0); // not called again after it threw
}

TEST(Parallel, ConcurrentAndNestedCallsFinish)
{
    constexpr int kCallers = 4;
    std::atomic<int> inner{0};
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c)
        callers.emplace_back([&] {
            for (int round = 0; round < 50; ++round)
                platform::ParallelFor(3, [&](int, int) { platform::ParallelFor(2, [&](int, int) { ++inner; }); });
        });
    for (std::thread& t : callers)
        t.join();
    EXPECT_EQ(inner, kCallers * 50 * 3 * 2);
}
