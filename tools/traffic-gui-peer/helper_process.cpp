// The helper started as the client library starts it: by full path, in its
// own folder, inheriting no handle; on Windows inside a job object that ends
// it when the peer ends, natively with a parent-death signal.
#include "helper_process.hpp"
#include "client/helper_launch.hpp"

namespace vth::peer {
namespace {

class LibraryHelper final : public HelperProcess {
  public:
    LibraryHelper(std::unique_ptr<client::Launcher> launcher,
                  std::unique_ptr<client::HelperProcess> process)
        : launcher_(std::move(launcher)), process_(std::move(process)) {}

    std::uint32_t pid() const override { return process_->pid(); }
    std::optional<int> wait(std::chrono::milliseconds timeout) override {
        return process_->wait(timeout);
    }
    int kill() override { return process_->kill(); }

  private:
    // Declared first, so it outlives the helper: on Windows the job's end
    // ends the helper too.
    std::unique_ptr<client::Launcher> launcher_;
    std::unique_ptr<client::HelperProcess> process_;
};

}  // namespace

Result<std::unique_ptr<HelperProcess>> start_as_library_does(const std::string& program,
                                                             const std::string& data_dir) {
    auto launcher = client::make_launcher();
    if (!launcher) return std::unexpected(launcher.error());
    auto process = (*launcher)->start(program, data_dir);
    if (!process) return std::unexpected(process.error());
    return std::unique_ptr<HelperProcess>(
        std::make_unique<LibraryHelper>(std::move(*launcher), std::move(*process)));
}

}  // namespace vth::peer
