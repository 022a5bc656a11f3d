#include "traffic_drop/pending_inbox.hpp"

#include "common/data_directory.hpp"

namespace vth::drop {
std::optional<std::string> pending_inbox_path(std::string_view file_name) {
    return data_file(file_name);
}

void pending_tunnel_domain_append(std::string_view text) noexcept {
    try {
        // Text and line feed in one write, so a reader never sees the line
        // without its end.
        std::string line(text);
        line += '\n';
        append_to_data_file(tunnel_domains_file, line);
    } catch (...) {
    }
}

void enqueue_pending_toggle_vpn() noexcept {
    append_to_data_file(toggle_vpn_file, "toggleVpn\n");
}

}  // namespace vth::drop
