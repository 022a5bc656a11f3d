#pragma once
// The file work of the GUI's side: the configuration written whole, the
// inbox files taken away from a writer, the log's tail. Paths are UTF-8.
// Any thread.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/error.hpp"

namespace vth::client {

// Fills bytes from the system's random source.
Result<void> fill_random(std::span<std::uint8_t> bytes);

// True for a full path (Windows: drive or UNC; natively: starting with '/').
bool is_absolute_path(const std::string& path);

// Writes bytes to a new file beside path and puts it in path's place in one
// step, so a reader sees the old file, no file, or the whole new one.
Result<void> write_file_replacing(const std::string& path, std::string_view bytes);

// Removes path; a missing file is no failure.
Result<void> remove_file(const std::string& path);

// Renames from to to, never replacing to. Error::os_code tells a missing
// source (is_missing).
Result<void> rename_file(const std::string& from, const std::string& to);
bool is_missing(long os_code);

// The whole file, read once no other program holds it open for writing
// (waiting in short steps up to timeout): a writer that opened it before it
// was renamed has finished its append.
Result<std::string> read_when_unwritten(const std::string& path, std::chrono::milliseconds timeout);

// The file's size, 0 when it is missing.
std::uint64_t file_size(const std::string& path);

// Bytes from offset to the end, at most max_bytes of its end.
Result<std::string> read_file_from(const std::string& path, std::uint64_t offset,
                                   std::size_t max_bytes);

}  // namespace vth::client
