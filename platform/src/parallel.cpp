#include "platform/parallel.h"

#include "platform/threads.h"
#include "threads_internal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Set on the helpers and on a caller while it runs parts: a call from there
// runs inline, so no part ever waits for a helper that waits for it.
thread_local bool t_inParts = false;

struct Batch {
    Batch(int n, const std::function<void(int, int)>& j) : parts(n), job(j), errors(std::size_t(n)) {}
    const int parts;
    const std::function<void(int, int)>& job;
    std::atomic<int> next{0};
    std::vector<std::exception_ptr> errors; // by part; each written by the thread that ran it
    int helpers = 0;                        // helpers inside the batch; guarded by the pool's mutex

    // Takes parts until none is left. The caller of a fan-out runs part 0
    // first (bFirst): a helper that wakes before it cannot take every part
    // and leave the caller, which reports progress, only waiting.
    void Work(bool bFirst = false)
    {
        const bool outer = std::exchange(t_inParts, true);
        if (bFirst)
            Do(0);
        for (int p; (p = next.fetch_add(1, std::memory_order_relaxed)) < parts;)
            Do(p);
        t_inParts = outer;
    }

private:
    void Do(int p)
    {
        try {
            job(p, parts);
        } catch (...) {
            errors[std::size_t(p)] = std::current_exception();
        }
    }
};

class Pool {
public:
    ~Pool()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // False when another call holds the helpers.
    bool Run(Batch& batch, const std::function<void()>& waiting)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_pBatch)
                return false;
            StartHelpers(batch.parts - 1);
            if (m_threads.empty())
                return false;
            batch.next.store(1, std::memory_order_relaxed); // part 0 is the caller's
            m_pBatch = &batch;
            ++m_generation;
        }
        m_wake.notify_all();
        batch.Work(true);

        std::exception_ptr waitError;
        std::unique_lock lock(m_mutex);
        m_pBatch = nullptr; // no helper joins late; those inside finish their parts
        while (batch.helpers > 0) {
            if (!waiting || waitError) {
                m_left.wait(lock);
                continue;
            }
            m_left.wait_for(lock, std::chrono::milliseconds(10));
            if (batch.helpers == 0)
                break;
            lock.unlock();
            try {
                waiting();
            } catch (...) {
                waitError = std::current_exception();
            }
            lock.lock();
        }
        lock.unlock();
        if (waitError)
            batch.errors.push_back(waitError);
        return true;
    }

private:
    // Called with the mutex held.
    void StartHelpers(int wanted)
    {
        static const int kMost = std::max(2, int(std::thread::hardware_concurrency())) - 1;
        wanted = std::min(wanted, kMost);
        while (int(m_threads.size()) < wanted) {
            std::thread t = TryStartThread([this] { Serve(); });
            if (!t.joinable())
                break; // tried again on a later call
            m_threads.push_back(std::move(t));
        }
    }

    void Serve()
    {
        std::uint64_t seen = 0;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_bStop || (m_pBatch && m_generation != seen); });
            if (m_bStop)
                return;
            seen = m_generation;
            Batch& batch = *m_pBatch;
            ++batch.helpers;
            lock.unlock();
            batch.Work();
            lock.lock();
            if (--batch.helpers == 0)
                m_left.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake; // a batch to help with, or the end
    std::condition_variable m_left; // a helper left its batch
    std::vector<std::thread> m_threads;
    Batch* m_pBatch = nullptr;
    std::uint64_t m_generation = 0;
    bool m_bStop = false;
};

Pool& ThePool()
{
    static Pool pool;
    return pool;
}

} // namespace

void ParallelFor(int parts, const std::function<void(int, int)>& job, const std::function<void()>& waiting)
{
    if (parts <= 0)
        return;
    Batch batch(parts, job);
    const bool helped = parts > 1 && !t_inParts && !detail::ThreadsWithheld() && ThePool().Run(batch, waiting);
    if (!helped)
        batch.Work();
    for (const std::exception_ptr& e : batch.errors)
        if (e)
            std::rethrow_exception(e);
}

} // namespace platform
