#pragma once
#include "common/error.hpp"

namespace vth {

// The helper's whole life after the process entry: start-up, then the
// connection to the GUI. Every failure comes back as an error value.
Result<void> run();

// The process body: run, and on failure the fatal line. Never fails.
void helper_main() noexcept;

}  // namespace vth
