// Interim client: silent, as the program is without the diagnostics library.
// Replaced by the full client.
#include "diagnostics/snagwise.h"

#include <cstdarg>

namespace SnagwiseUtil {
HRESULT AssertFired(const CallSite&, const char*) { return E_FAIL; }
HRESULT AssertHrFired(const CallSite&, HRESULT) { return E_FAIL; }
void Trace(const CallSite&, const wchar_t*, ...) {}
void ThrowBadPointer(const CallSite&) { throw L"bad pointer"; }
} // namespace SnagwiseUtil
