#pragma once
// UTF-8 <-> wide text. Invalid UTF-8 becomes U+FFFD, so names written by other
// programs in another encoding still read.
#include <string>
#include <string_view>

namespace platform {

std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

} // namespace platform
