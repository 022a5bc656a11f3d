#pragma once
#include <string>

#include "common/error.hpp"
#include "self_test_checks.hpp"

namespace vth::peer {

// The capture as an opaque PNG file at path (UTF-8).
Result<void> write_png(const std::string& path, const Capture& capture);

// Writes the bytes to path (UTF-8), replacing the file.
Result<void> write_whole_file(const std::string& path, const std::string& bytes);

}  // namespace vth::peer
