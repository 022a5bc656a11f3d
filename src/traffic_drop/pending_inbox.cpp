#include "traffic_drop/pending_inbox.hpp"

#include "common/data_directory.hpp"
#include "common/os.hpp"

namespace vth::drop {
namespace {

void append_line(std::string_view file_name, std::string_view line) noexcept {
    try {
        std::optional<std::string> dir = data_directory();
        if (!dir) return;
        os::create_directories(*dir);
        os::append_to_file(os::join_path(*dir, file_name), line);
    } catch (...) {
        // Out of memory while building the path: the line is lost, like any
        // other inbox failure.
    }
}

}  // namespace

std::optional<std::string> pending_inbox_path(std::string_view file_name) {
    return data_file(file_name);
}

void pending_tunnel_domain_append(std::string_view text) noexcept {
    try {
        // Text and line feed in one write, so a reader never sees the line
        // without its end.
        std::string line(text);
        line += '\n';
        append_line(tunnel_domains_file, line);
    } catch (...) {
    }
}

void enqueue_pending_toggle_vpn() noexcept {
    append_line(toggle_vpn_file, "toggleVpn\n");
}

}  // namespace vth::drop
