#include "client/inbox_drain.hpp"

#include "client/client_files.hpp"
#include "common/os.hpp"

namespace vth::client {
namespace {

Result<void> hand_out(const std::string& taken, const std::function<void(std::string_view)>& line) {
    auto text = read_when_unwritten(taken, writer_wait);
    if (!text) {
        if (is_missing(text.error().os_code)) return {};
        return std::unexpected(text.error());
    }
    // Removed before any line is handed out: a file that cannot be removed
    // yet (a scanner holding it) keeps its lines for the next drain instead
    // of giving them twice.
    if (auto removed = remove_file(taken); !removed) return removed;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view one = rest.substr(0, end);
        if (!one.empty()) line(one);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return {};
}

}  // namespace

Result<void> drain_inbox(const std::string& data_dir, std::string_view file_name,
                         const std::function<void(std::string_view)>& line) {
    const std::string live = os::join_path(data_dir, file_name);
    const std::string taken = live + ".draining";
    if (auto left = hand_out(taken, line); !left) return left;
    if (auto renamed = rename_file(live, taken); !renamed) {
        if (is_missing(renamed.error().os_code)) return {};
        return std::unexpected(renamed.error());
    }
    return hand_out(taken, line);
}

}  // namespace vth::client
