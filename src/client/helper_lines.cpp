#include "client/helper_lines.hpp"

#include <variant>

#include "protocol/message_decode.hpp"

namespace vth::client {
namespace {

constexpr std::string_view fatal_prefix = "traffic helper fatal: ";

}  // namespace

void LineBuffer::add(std::string_view bytes) {
    // Lines handed out are dropped in bulk, not one erase per line.
    if (begin_ > 0) {
        pending_.erase(0, begin_);
        scanned_ -= begin_;
        begin_ = 0;
    }
    pending_.append(bytes);
}

std::size_t LineBuffer::pending_bytes() const {
    return pending_.size() - begin_;
}

std::string LineBuffer::take_bytes() {
    std::string bytes = pending_.substr(begin_);
    pending_.clear();
    begin_ = scanned_ = 0;
    return bytes;
}

std::optional<std::string> LineBuffer::take() {
    for (;;) {
        const auto end = pending_.find('\n', scanned_);
        if (end == std::string::npos) {
            scanned_ = pending_.size();
            if (pending_bytes() > max_line_) {
                // The rest of this line up to its line feed goes too.
                pending_.clear();
                begin_ = scanned_ = 0;
                skipping_ = true;
            }
            return std::nullopt;
        }
        std::string line = pending_.substr(begin_, end - begin_);
        begin_ = scanned_ = end + 1;
        if (skipping_ || line.size() > max_line_) {
            skipping_ = false;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
}

Verdict judge_first_line(const std::optional<std::string>& line, std::size_t pending_bytes,
                         std::string_view token, message::Hello* hello) {
    if (!line) return pending_bytes > hello_line_limit ? Verdict::refused : Verdict::undecided;
    if (line->size() > hello_line_limit) return Verdict::refused;
    auto decoded = decode_message(*line);
    if (!decoded) return Verdict::refused;
    auto* said = std::get_if<message::Hello>(&*decoded);
    if (said == nullptr || said->token != token) return Verdict::refused;
    if (hello != nullptr) *hello = std::move(*said);
    return Verdict::ours;
}

ClientEvent event_of(const HelperMessage& message) {
    ClientEvent event;
    std::visit(
        [&](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, message::Hello>) {
                event.kind = EventKind::connected;
                event.integrity = m.integrity;
                event.ole_registered = m.ole_registered;
            } else if constexpr (std::is_same_v<T, message::State>) {
                event.kind = EventKind::state;
                event.hovering = m.hovering;
                event.interacting = m.interacting;
                event.position = m.position;
            } else if constexpr (std::is_same_v<T, message::Action>) {
                event.kind = EventKind::action;
                event.text = m.action;
                event.position = m.position;
            } else if constexpr (std::is_same_v<T, message::TextDropped>) {
                event.kind = EventKind::text_dropped;
                event.text = m.text;
            } else {
                event.kind = EventKind::add_from_clipboard;
            }
        },
        message);
    return event;
}

std::string fatal_line(std::string_view log_tail) {
    while (!log_tail.empty() && (log_tail.back() == '\n' || log_tail.back() == '\r')) {
        log_tail.remove_suffix(1);
    }
    const auto start = log_tail.rfind('\n');
    std::string_view last = start == std::string_view::npos ? log_tail : log_tail.substr(start + 1);
    // "SystemTime { intervals: N } message"
    const auto stamp_end = last.find(" } ");
    if (stamp_end == std::string_view::npos) return {};
    last.remove_prefix(stamp_end + 3);
    if (!last.starts_with(fatal_prefix)) return {};
    return std::string(last);
}

}  // namespace vth::client
