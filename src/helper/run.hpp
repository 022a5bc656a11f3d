#pragma once
#include <string_view>

#include "common/error.hpp"

namespace vth {

inline constexpr std::string_view fatal_prefix = "traffic helper fatal: ";

// The helper's whole life after the process entry: start-up, then the
// connection to the GUI. Every failure comes back as an error value.
Result<void> run();

// The process body: run, and on failure, an exception included, the fatal
// line with its text. Never fails.
void helper_main() noexcept;

}  // namespace vth
