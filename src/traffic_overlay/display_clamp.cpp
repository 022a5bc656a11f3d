#include "traffic_overlay/display_clamp.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "common/diagnostics.hpp"
#include "traffic_overlay/overlay_size.hpp"

namespace vth {
namespace {

__extension__ typedef unsigned __int128 Wide;

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int32_t add(std::int32_t a, std::int64_t b) {
    return saturate(a + b);
}

// A display whose far edge saturated can leave hi below lo; the near edge
// wins then, as on a display too small for the overlay.
std::int32_t clamp_low_wins(std::int32_t v, std::int32_t lo, std::int32_t hi) {
    return std::max(lo, std::min(v, hi));
}

std::int64_t overlap(std::int32_t start, std::int32_t size, std::int32_t d_start,
                     std::int32_t d_size) {
    const std::int64_t d =
        static_cast<std::int64_t>(std::min(add(start, size), add(d_start, d_size))) -
        std::max(start, d_start);
    return std::max<std::int64_t>(d, 0);
}

std::uint64_t overlap_area(ScreenPoint p, const DisplayBounds& d) {
    return static_cast<std::uint64_t>(overlap(p.x, OVERLAY_WIDTH, d.x, d.width)) *
           static_cast<std::uint64_t>(overlap(p.y, OVERLAY_HEIGHT, d.y, d.height));
}

std::uint64_t square(std::int64_t v) {
    const auto m = static_cast<std::uint64_t>(v < 0 ? -v : v);
    return m * m;
}

// Exact: the two squares can together exceed 64 bits near the limits.
Wide distance_squared(ScreenPoint p, const DisplayBounds& d) {
    const std::int32_t cx = add(p.x, OVERLAY_WIDTH / 2);
    const std::int32_t cy = add(p.y, OVERLAY_HEIGHT / 2);
    const std::int32_t px = clamp_low_wins(cx, d.x, add(add(d.x, d.width), -1));
    const std::int32_t py = clamp_low_wins(cy, d.y, add(add(d.y, d.height), -1));
    return static_cast<Wide>(square(static_cast<std::int64_t>(cx) - px)) +
           square(static_cast<std::int64_t>(cy) - py);
}

std::int32_t place(std::int32_t v, std::int32_t start, std::int32_t size, std::int32_t overlay) {
    const std::int32_t max = size > overlay ? add(add(start, size), -overlay) : start;
    return clamp_low_wins(v, start, max);
}

}  // namespace

ScreenPoint clamp_overlay_position(ScreenPoint requested, std::span<const DisplayBounds> displays) {
    std::vector<DisplayBounds> usable;
    for (const DisplayBounds& d : displays) {
        if (d.width > 0 && d.height > 0) usable.push_back(d);
    }
    if (usable.empty()) return requested;

    const DisplayBounds* chosen = &usable.front();
    std::uint64_t best_area = overlap_area(requested, *chosen);
    for (const DisplayBounds& d : usable) {
        const std::uint64_t area = overlap_area(requested, d);
        if (area > best_area) {
            best_area = area;
            chosen = &d;
        }
    }
    if (best_area == 0) {
        Wide best_distance = distance_squared(requested, *chosen);
        for (const DisplayBounds& d : usable) {
            const Wide distance = distance_squared(requested, d);
            if (distance < best_distance) {
                best_distance = distance;
                chosen = &d;
            }
        }
    }
    return {place(requested.x, chosen->x, chosen->width, OVERLAY_WIDTH),
            place(requested.y, chosen->y, chosen->height, OVERLAY_HEIGHT)};
}

ScreenPoint clamp_and_report(ScreenPoint requested, std::span<const DisplayBounds> displays) {
    const ScreenPoint result = clamp_overlay_position(requested, displays);
    if (result != requested && diag::has_sink()) {
        diag::emit({diag::Level::info,
                    std::string(diag::overlay_target),
                    "traffic overlay position clamped onto a visible display",
                    {{"from_x", std::to_string(requested.x)},
                     {"from_y", std::to_string(requested.y)},
                     {"to_x", std::to_string(result.x)},
                     {"to_y", std::to_string(result.y)}}});
    }
    return result;
}

}  // namespace vth
