#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vth {

// %LOCALAPPDATA%\Vestrilon, read afresh at every call; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_directory();

// A file in the data directory; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_file(std::string_view name);

}  // namespace vth
