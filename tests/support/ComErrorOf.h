#pragma once
// The COM error a call throws; S_OK when it throws none. Header only.
#include "platform/comptr.h"

#include <utility>

namespace vantix::test {

template <class F>
HRESULT ComErrorOf(F&& f)
{
    try {
        std::forward<F>(f)();
    } catch (const platform::ComError& e) {
        return e.Error();
    }
    return S_OK;
}

} // namespace vantix::test
