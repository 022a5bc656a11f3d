#pragma once
// Starting the helper as a child that ends with us. Windows: by absolute
// path, in its own folder, inheriting no handle, inside a job object that
// ends it when the last handle to the job closes (our process ending
// included). Natively: fork and exec, every descriptor of ours close-on-exec,
// and a parent-death signal, so the native helper build stands in for the
// real one in tests.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/error.hpp"

namespace vth::client {

// One started helper. Owned and called by one thread.
class HelperProcess {
  public:
    // Ends the helper if it still runs.
    virtual ~HelperProcess() = default;
    // The exit code once it ended, waiting up to timeout.
    virtual std::optional<int> wait(std::chrono::milliseconds timeout) = 0;
    // Ends it by force and waits for the end; the exit code.
    virtual int kill() noexcept = 0;
    virtual std::uint32_t pid() const = 0;
};

// What every start shares: on Windows the job object. Created once per
// client, by the thread that starts the helpers.
class Launcher {
  public:
    virtual ~Launcher() = default;
    // Starts program (absolute, UTF-8) with LOCALAPPDATA set to
    // local_app_data, in program's folder.
    virtual Result<std::unique_ptr<HelperProcess>> start(const std::string& program,
                                                         const std::string& local_app_data) = 0;
};

Result<std::unique_ptr<Launcher>> make_launcher();

}  // namespace vth::client
