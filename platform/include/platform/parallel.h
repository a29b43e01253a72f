#pragma once
// Splitting a task into parts done at once. The helper threads are kept
// between calls (they are started the first time they are needed), so a
// fan-out per frame or per stage costs no thread start.
#include <functional>

namespace platform {

// Runs job(part, parts) once for every part in [0, parts): on the calling
// thread and on the kept helpers, whichever is free takes the next part. The
// calling thread does every part when no helper can be had, when the call is
// nested inside a part, or when another thread's call is using the helpers.
//
// Returns once every part has ended. A part that throws does not stop the
// others; the exception of the lowest-numbered failing part is rethrown
// afterwards. While the calling thread waits for helpers it calls waiting
// (when given) every few milliseconds; an exception from it is rethrown after
// the parts', and waiting is not called again in that call.
void ParallelFor(int parts, const std::function<void(int part, int parts)>& job,
                 const std::function<void()>& waiting = {});

} // namespace platform
