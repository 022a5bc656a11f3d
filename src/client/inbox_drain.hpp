#pragma once
// Taking the lines of an inbox file the helper appends to, none lost and none
// given twice: the file is renamed away (the helper's next append makes a new
// one), read once no writer holds it, handed out line by line, and removed.
// One drainer per inbox file at a time.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace vth::client {

// How long a writer that opened the file before the rename may take to finish.
inline constexpr std::chrono::milliseconds writer_wait{5000};

// Lines of data_dir/file_name, split on line feeds only, empty ones skipped.
// A file left by a drain that failed half-way is handed out first.
Result<void> drain_inbox(const std::string& data_dir, std::string_view file_name,
                         const std::function<void(std::string_view)>& line);

}  // namespace vth::client
