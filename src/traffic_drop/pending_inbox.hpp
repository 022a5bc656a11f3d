#pragma once
// The append-only inbox files through which drops and toggle requests reach
// the desktop client. Each line is one open-append-close cycle; nothing stays
// open between requests. Every failure is silent. Any thread may call these;
// within the helper each file has a single writer thread.
#include <optional>
#include <string>
#include <string_view>

namespace vth::drop {

inline constexpr std::string_view tunnel_domains_file = "pending-tunnel-domains.txt";
inline constexpr std::string_view toggle_vpn_file = "pending-toggle-vpn.txt";

// The file's path in the data directory; nothing when LOCALAPPDATA is unset.
std::optional<std::string> pending_inbox_path(std::string_view file_name);

// Appends text and a line feed to the tunnel-domain inbox. text is one line:
// never empty, no line feed.
void pending_tunnel_domain_append(std::string_view text) noexcept;

// Appends "toggleVpn" and a line feed to the toggle inbox.
void enqueue_pending_toggle_vpn() noexcept;

}  // namespace vth::drop
