#include "config_file.hpp"

#include "client/client_files.hpp"
#include "client/token.hpp"
#include "common/os.hpp"
#include "protocol/command_encode.hpp"

namespace vth::peer {

Result<std::string> random_token() {
    return client::random_token();
}

Result<std::string> write_config(const std::string& data_dir, const HelperConfig& config) {
    const std::string dir = os::join_path(data_dir, "Vestrilon");
    os::create_directories(dir);
    std::string path = os::join_path(dir, "traffic-helper.json");
    // The library's way: a stale file that still decodes would be used at
    // once by a helper started meanwhile, so it goes first, and the new one
    // appears whole.
    if (auto removed = client::remove_file(path); !removed) {
        return fail("cannot remove " + path + ": " + removed.error().text, removed.error().os_code);
    }
    if (auto written = client::write_file_replacing(path, encode_config(config)); !written) {
        return fail("cannot write " + path + ": " + written.error().text, written.error().os_code);
    }
    return path;
}

}  // namespace vth::peer
