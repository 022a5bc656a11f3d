// Checks the promises of extract_url_candidate on the bytes decoded as 8-bit
// and as UTF-16 text, and that raw bytes, valid or not, give a well-shaped
// result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "traffic_drop/text_decoding.hpp"
#include "traffic_drop/url_candidate.hpp"
#include "traffic_drop/white_space.hpp"

namespace {

using vth::drop::extract_url_candidate;
using vth::drop::trim_white_space;

void require(bool condition, const char* promise) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

void check_shape(const std::string& candidate) {
    require(!candidate.empty(), "never empty");
    require(trim_white_space(candidate) == candidate, "no white space at either end");
    require(candidate.find('\n') == std::string::npos, "no line feed");
    require(candidate.find('\0') == std::string::npos, "no NUL");
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The listed cases where a second application changes the result.
bool second_change_allowed(const std::string& first, const std::optional<std::string>& second) {
    if (first.starts_with("URL=") || first.starts_with("url=")) {
        std::string_view rest = trim_white_space(std::string_view(first).substr(4));
        if (!rest.empty() && second == rest) return true;
    }
    if (second) {
        std::string lower = lowered(first);
        for (std::string_view pattern : {"href=\"", "href='"}) {
            std::size_t at = lower.find(pattern);
            if (at != std::string::npos &&
                first.find(*second, at + pattern.size()) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    return first.find("://") == std::string::npos && first.find('.') == std::string::npos;
}

void check(std::string_view input, bool valid_utf8) {
    std::optional<std::string> first = extract_url_candidate(input);
    if (!first) return;
    check_shape(*first);
    require(vth::drop::strip_drop_noise(input).find(*first) != std::string::npos,
            "taken as written from the input");
    // Invalid bytes can join into a noise character once the noise between
    // them is gone; every text the drop path hands over is valid UTF-8.
    if (!valid_utf8) return;
    require(vth::drop::decode_8bit_text(*first) == *first, "stays valid UTF-8");
    std::optional<std::string> second = extract_url_candidate(*first);
    if (second) check_shape(*second);
    if (second != first) require(second_change_allowed(*first, second), "second application");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    check(raw, false);
    check(vth::drop::decode_8bit_text(raw), true);
    check(vth::drop::decode_utf16_text(raw), true);
    return 0;
}
