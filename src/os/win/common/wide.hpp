#pragma once
// UTF-8 <-> UTF-16 at the platform boundary, and the system's error texts.
#include <windows.h>

#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth::win {

// Invalid sequences become U+FFFD in both directions.
std::wstring to_wide(std::string_view utf8);
std::string to_utf8(std::wstring_view utf16);

// The system's message for code, trailing white space removed, then " (os error N)".
Error system_error(DWORD code);
inline Error last_error() {
    return system_error(GetLastError());
}

}  // namespace vth::win
