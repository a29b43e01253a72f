#pragma once
// Starting helper threads where a task can also be done by the calling thread.
// A thread cannot always be had (process limits, a nearly full address space):
// callers then do the work themselves instead of ending the process.
#include <functional>
#include <thread>

namespace platform {

// body on a new thread; an empty (not joinable) std::thread when none can be
// started, body not run.
std::thread TryStartThread(std::function<void()> body);

// body on a new thread, or at once on the calling one when no thread can be
// started; the thread is joined by Join or on destruction.
class ThreadOrHere {
public:
    explicit ThreadOrHere(const std::function<void()>& body);
    ~ThreadOrHere() { Join(); }
    ThreadOrHere(const ThreadOrHere&) = delete;
    ThreadOrHere& operator=(const ThreadOrHere&) = delete;
    void Join();

private:
    std::thread m_thread;
};

// While one exists, TryStartThread starts nothing, as when the system has no
// thread to give: for tests of the fallbacks.
class ScopedThreadStartFailure {
public:
    ScopedThreadStartFailure();
    ~ScopedThreadStartFailure();
    ScopedThreadStartFailure(const ScopedThreadStartFailure&) = delete;
    ScopedThreadStartFailure& operator=(const ScopedThreadStartFailure&) = delete;
};

} // namespace platform
