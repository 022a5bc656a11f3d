#include "traffic_drop/url_candidate.hpp"

#include <array>

#include "traffic_drop/white_space.hpp"

namespace vth::drop {
namespace {

constexpr std::array<std::string_view, 5> noise_sequences = {
    "\xE2\x80\x8B",  // U+200B zero-width space
    "\xE2\x80\x8C",  // U+200C zero-width non-joiner
    "\xE2\x80\x8D",  // U+200D zero-width joiner
    "\xE2\x81\xA0",  // U+2060 word joiner
    "\xEF\xBB\xBF",  // U+FEFF byte-order mark
};

std::size_t noise_length(std::string_view rest) noexcept {
    if (rest.front() == '\0') return 1;
    for (std::string_view noise : noise_sequences) {
        if (rest.starts_with(noise)) return noise.size();
    }
    return 0;
}

// Calls visit with each line (split at LF; CR LF leaves its CR to the trim)
// until it returns true.
template <typename Visit>
void for_each_line(std::string_view text, Visit visit) {
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (visit(text.substr(0, end))) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

std::optional<std::string> shortcut_line(std::string_view text) {
    std::optional<std::string> found;
    for_each_line(text, [&](std::string_view line) {
        line = trim_white_space(line);
        if (!line.starts_with("URL=") && !line.starts_with("url=")) return false;
        std::string_view value = trim_white_space(line.substr(4));
        if (value.empty()) return false;
        found.emplace(value);
        return true;
    });
    return found;
}

std::string lower_ascii_letters(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

// Only the first occurrence of the pattern is looked at.
std::optional<std::string> href_value(std::string_view text, std::string_view lowered,
                                      std::string_view pattern) {
    std::size_t at = lowered.find(pattern);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + pattern.size());
    constexpr std::string_view terminators = " \"'>\r\n";
    std::string_view value = trim_white_space(rest.substr(0, rest.find_first_of(terminators)));
    if (value.empty()) return std::nullopt;
    if (value.starts_with("http://") || value.starts_with("https://") ||
        value.find('.') != std::string_view::npos) {
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> address_line(std::string_view text) {
    std::optional<std::string> found;
    for_each_line(text, [&](std::string_view line) {
        line = trim_white_space(line);
        if (line.empty()) return false;
        if (line.find("://") == std::string_view::npos &&
            line.find('.') == std::string_view::npos) {
            return false;
        }
        found.emplace(line);
        return true;
    });
    return found;
}

}  // namespace

std::string strip_drop_noise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (std::size_t n = noise_length(text)) {
            text.remove_prefix(n);
            continue;
        }
        out += text.front();
        text.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> extract_url_candidate(std::string_view text) {
    const std::string stripped = strip_drop_noise(text);
    const std::string_view t = trim_white_space(stripped);
    if (t.empty()) return std::nullopt;
    if (auto value = shortcut_line(t)) return value;
    const std::string lowered = lower_ascii_letters(t);
    if (auto value = href_value(t, lowered, "href=\"")) return value;
    if (auto value = href_value(t, lowered, "href='")) return value;
    return address_line(t);
}

}  // namespace vth::drop
