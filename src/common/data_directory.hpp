#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vth {

// %LOCALAPPDATA%\Vestrilon, read afresh at every call; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_directory();

// A file in the data directory; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_file(std::string_view name);

// Appends bytes to the named file in the data directory, creating the
// directory first; every failure (no LOCALAPPDATA included) loses the bytes
// and nothing else.
void append_to_data_file(std::string_view name, std::string_view bytes) noexcept;

}  // namespace vth
