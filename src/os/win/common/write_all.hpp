#pragma once
// Writing a whole buffer through a file handle, for the file writers of this
// module. Any thread; the caller owns the handle.
#include <windows.h>

#include <string_view>

namespace vth::win {

// Writes every byte, in pieces WriteFile accepts; false at the first failure.
bool write_all(HANDLE file, std::string_view bytes) noexcept;

}  // namespace vth::win
