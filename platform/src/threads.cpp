#include "platform/threads.h"

#include "threads_internal.h"

#include <atomic>
#include <system_error>

namespace platform {

namespace {
std::atomic<int> g_failures{0};
} // namespace

bool detail::ThreadsWithheld()
{
    return g_failures.load(std::memory_order_relaxed) > 0;
}

std::thread TryStartThread(std::function<void()> body)
{
    if (detail::ThreadsWithheld())
        return {};
    try {
        return std::thread(std::move(body));
    } catch (const std::system_error&) {
        return {};
    }
}

ThreadOrHere::ThreadOrHere(const std::function<void()>& body) : m_thread(TryStartThread(body))
{
    if (!m_thread.joinable())
        body();
}

void ThreadOrHere::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

ScopedThreadStartFailure::ScopedThreadStartFailure()
{
    g_failures.fetch_add(1);
}

ScopedThreadStartFailure::~ScopedThreadStartFailure()
{
    g_failures.fetch_sub(1);
}

} // namespace platform
