#pragma once
// Progress of one load. The sink is called only on the thread that called
// Load: helper threads add the work they finish to a counter and stop at
// their next step once the load is cancelled; the calling thread passes the
// sum on between its own steps and while it waits for a helper.
#include "ors_provider/ILoadProgress.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace ors {

// Thrown when the sink declined (on the calling thread) or once it has (on helpers).
struct LoadCancelled {};

class ReadProgress {
public:
    // The range the sink sees.
    static constexpr std::uint64_t kTotal = 1000000;

    // Reports nothing and never cancels: every call is a test and a return.
    ReadProgress() = default;
    explicit ReadProgress(IQX_VantixDataProvider::ILoadProgressSink* pSink);
    ReadProgress(const ReadProgress&) = delete;
    ReadProgress& operator=(const ReadProgress&) = delete;

    bool Active() const { return m_pSink != nullptr; }

    // Calling thread, no helper running: the next stage of the load ends at
    // endPercent of the whole and consists of units steps of work.
    void BeginStage(unsigned endPercent, std::uint64_t units);

    // Work finished, on any thread. On the calling thread the sink is called
    // when due; on a helper the load stops here once it is cancelled.
    void Advance(std::uint64_t units)
    {
        if (!m_pSink)
            return;
        m_done.fetch_add(units, std::memory_order_relaxed);
        if (std::this_thread::get_id() == m_caller)
            Report();
        else if (Cancelled())
            throw LoadCancelled{};
    }

    // Calling thread: calls the sink when a percent is done or some time has
    // passed since the last call. Throws LoadCancelled when the sink declines.
    void Report()
    {
        if (m_pSink)
            report(false);
    }

    // Calling thread, at the very end: the last call, done = total.
    void Finish();

    bool Cancelled() const { return m_bCancelled.load(std::memory_order_relaxed); }

    // How long the calling thread may go without calling the sink while it waits.
    static constexpr std::chrono::milliseconds kInterval{50};

private:
    using Clock = std::chrono::steady_clock;

    void report(bool bFinal);
    void call(std::uint64_t position);

    IQX_VantixDataProvider::ILoadProgressSink* m_pSink = nullptr;
    std::thread::id m_caller;
    // The current stage: [m_stageBegin, m_stageEnd) of kTotal over m_units steps.
    std::uint64_t m_stageBegin = 0;
    std::uint64_t m_stageEnd = 0;
    std::uint64_t m_units = 0;
    std::atomic<std::uint64_t> m_done{0};
    std::atomic<bool> m_bCancelled{false};
    bool m_bStarted = false;
    std::uint64_t m_lastPosition = 0;
    Clock::time_point m_lastCall{};
};

// Runs job(part, parts) as platform::ParallelFor does; while the calling
// thread waits for helpers it passes their progress on, and a cancel there
// makes the helpers stop at their next step.
void ParallelLoad(ReadProgress& progress, int parts, const std::function<void(int part, int parts)>& job);

} // namespace ors
