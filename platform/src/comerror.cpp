#include "platform/comptr.h"

#include <cstdio>

namespace platform {

namespace {
std::string describe(HRESULT hr)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "COM error 0x%08X", static_cast<unsigned>(hr));
    return buf;
}
} // namespace

ComError::ComError(HRESULT hr) : std::runtime_error(describe(hr)), m_hr(hr) {}

void ThrowComError(HRESULT hr)
{
    throw ComError(hr);
}

} // namespace platform
