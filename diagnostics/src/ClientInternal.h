#pragma once
// Pieces shared by the client, the call sites and the process-wide handlers.
#include "diagnostics/SnagwiseClient.h"

#include <cerrno>
#include <string>
#include <string_view>

namespace SnagwiseUtil::detail {

// Puts errno back when the scope ends.
class ErrnoGuard {
public:
    ErrnoGuard() noexcept : m_nSaved(errno) {}
    ~ErrnoGuard() { errno = m_nSaved; }
    ErrnoGuard(const ErrnoGuard&) = delete;
    ErrnoGuard& operator=(const ErrnoGuard&) = delete;
    int Saved() const noexcept { return m_nSaved; }

private:
    int m_nSaved;
};

// UTF-8 (source files, compiler texts) to wide characters (platform::FromUtf8).
std::wstring Widen(std::string_view text);
std::uint32_t CurrentThreadId() noexcept;
// Return addresses of the caller's stack, innermost first.
void CaptureContext(CONTEXT& context, std::uint32_t flags) noexcept;
ClientTestHooks& Hooks();
ClientInterface& Interface();

// Process-wide handlers (ExceptionHandlers.cpp).
void SetHandlersClient(SnagwiseClient* client) noexcept;
void DeactivateHandler(HandlerGuard which) noexcept;

} // namespace SnagwiseUtil::detail
