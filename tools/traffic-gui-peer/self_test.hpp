#pragma once
// traffic-gui-peer --self-test [--report DIR] [--helper PATH]: starts the
// helper with a data directory of its own, drives a whole session through
// real input and an OLE drag, and prints one PASS or FAIL line per check.
#include <span>
#include <string_view>

namespace vth::peer {

bool asks_self_test(std::span<const std::string_view> args);

// The exit code: see self_test_checks.hpp.
int run_self_test(std::span<const std::string_view> args);

}  // namespace vth::peer
