#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "subcommands.hpp"
#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth::tool {
namespace {

std::optional<std::int32_t> parse_int(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "LEFT,TOP,WIDTH,HEIGHT"
std::optional<DisplayBounds> parse_display(std::string_view text) {
    std::int32_t parts[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = i < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return std::nullopt;
        const auto value = parse_int(text.substr(0, comma));
        if (!value) return std::nullopt;
        parts[i] = *value;
        text.remove_prefix(i < 3 ? comma + 1 : comma);
    }
    return DisplayBounds{parts[0], parts[1], parts[2], parts[3]};
}

int usage() {
    std::fputs(
        "usage: traffic-helper-tool clamp X Y [LEFT,TOP,WIDTH,HEIGHT ...]\n"
        "  displays are work areas in enumeration order; without any, the machine's\n"
        "  displays are used (the native build has none and prints X Y unchanged)\n",
        stderr);
    return 2;
}

}  // namespace

int clamp(Args args) {
    if (args.size() < 2) return usage();
    const auto x = parse_int(args[0]);
    const auto y = parse_int(args[1]);
    if (!x || !y) return usage();
    std::vector<DisplayBounds> displays;
    for (std::string_view arg : args.subspan(2)) {
        const auto display = parse_display(arg);
        if (!display) return usage();
        displays.push_back(*display);
    }
    const ScreenPoint requested{*x, *y};
    const ScreenPoint result = displays.empty() ? clamp_to_visible_displays(requested)
                                                : clamp_overlay_position(requested, displays);
    std::printf("%d %d\n", static_cast<int>(result.x), static_cast<int>(result.y));
    return 0;
}

}  // namespace vth::tool
