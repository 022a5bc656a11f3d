#pragma once
// UTF-8 <-> UTF-16 at the platform boundary.
#include <windows.h>

#include <string>
#include <string_view>

namespace vth::win {

// Invalid sequences become U+FFFD in both directions.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

}  // namespace vth::win
