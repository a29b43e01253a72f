#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

TEST(Threads, StartOrReportThatNoneCouldBeHad)
{
    std::atomic<int> runs{0};
    const auto start = [&] {
        std::thread t = platform::TryStartThread([&] { ++runs; });
        const bool started = t.joinable();
        if (started)
            t.join();
        return started;
    };
    EXPECT_TRUE(start());
    {
        // Nested failures count, and the body is not run when no thread starts.
        const platform::ScopedThreadStartFailure outer;
        const platform::ScopedThreadStartFailure inner;
        EXPECT_FALSE(start());
    }
    EXPECT_TRUE(start());
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
        platform::ThreadOrHere([&] { ranOn = std::this_thread::get_id(), ++runs; });
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(ranOn == std::this_thread::get_id(), !threads);
    }
}
