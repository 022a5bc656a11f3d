#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common/os.hpp"

namespace vth {

// %LOCALAPPDATA%\Vestrilon, read afresh at every call; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_directory();

// A file in the data directory; nothing when LOCALAPPDATA is unset.
std::optional<std::string> data_file(std::string_view name);

// Why an append must not go ahead, or nothing. Above medium integrity a
// reparse point at the data directory or at the file, a file with a second
// name, or a file the system places anywhere but under its name in the data
// directory is refused: the folder is writable by the user's ordinary
// processes, which could point a link at a file they may not write themselves.
std::optional<std::string_view> append_refusal(std::string_view integrity_level,
                                               const os::AppendTarget& target) noexcept;

// Appends bytes to the named file in the data directory, creating the
// directory first; every failure (no LOCALAPPDATA included) loses the bytes
// and nothing else. A refused append is a failure too; its reason goes to the
// diagnostics facade.
void append_to_data_file(std::string_view name, std::string_view bytes) noexcept;

}  // namespace vth
