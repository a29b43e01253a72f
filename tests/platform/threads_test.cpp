#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

TEST(Threads, StartOrReportThatNoneCouldBeHad)
{
    std::atomic<int> runs{0};
    std::thread t = platform::TryStartThread([&] { ++runs; });
    ASSERT_TRUE(t.joinable());
    t.join();
    EXPECT_EQ(runs, 1);
    {
        // Nested failures count, and the body is not run when no thread starts.
        const platform::ScopedThreadStartFailure outer;
        const platform::ScopedThreadStartFailure inner;
        EXPECT_FALSE(platform::TryStartThread([&] { ++runs; }).joinable());
    }
    EXPECT_EQ(runs, 1);
    std::thread again = platform::TryStartThread([&] { ++runs; });
    ASSERT_TRUE(again.joinable());
    again.join();
    EXPECT_EQ(runs, 2);
}

TEST(Threads, ThreadOrHereRunsTheBodyOnceSomewhere)
{
    for (const bool threads : {true, false}) {
        std::optional<platform::ScopedThreadStartFailure> none;
        if (!threads)
            none.emplace();
        std::atomic<int> runs{0};
        std::thread::id ranOn;
        {
            platform::ThreadOrHere t([&] {
                ranOn = std::this_thread::get_id();
                ++runs;
            });
            // Without a thread the body is done before the constructor returns.
            if (!threads) {
                EXPECT_EQ(runs, 1);
            }
        }
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(ranOn == std::this_thread::get_id(), !threads);
    }
}
