#pragma once

namespace platform::detail {

// True while a ScopedThreadStartFailure exists: no thread, kept or new, helps.
bool ThreadsWithheld();

} // namespace platform::detail
