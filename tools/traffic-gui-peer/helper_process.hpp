#pragma once
// Starting the helper for the peer, and ending it.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/error.hpp"

namespace vth::peer {

class HelperProcess {
  public:
    // Kills a helper that is still running.
    virtual ~HelperProcess() = default;
    // The exit code once the helper has ended, waiting up to timeout;
    // nothing while it still runs.
    virtual std::optional<int> wait(std::chrono::milliseconds timeout) = 0;
    // Ends it by force, with what it started; the exit code.
    virtual int kill() = 0;
    virtual std::uint32_t pid() const = 0;
};

// Runs program with LOCALAPPDATA set to data_dir (absolute). Natively its
// standard input is empty, its standard output goes to our standard error,
// and a program ending in .exe runs under Wine ($WINE, else wine or
// wine64 from PATH), which sees data_dir through its Z: drive; any other
// program, and every program on Windows, starts as the client library
// starts it.
Result<std::unique_ptr<HelperProcess>> start_helper(const std::string& program,
                                                    const std::string& data_dir);

// The client library's start: program (absolute on POSIX) in its own
// folder, ended with the peer.
Result<std::unique_ptr<HelperProcess>> start_as_library_does(const std::string& program,
                                                             const std::string& data_dir);

}  // namespace vth::peer
