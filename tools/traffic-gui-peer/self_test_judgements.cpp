#include "self_test_judgements.hpp"

#include <algorithm>
#include <cstdlib>

namespace vth::peer {
namespace {

constexpr std::uint32_t ex_topmost = 0x8;
constexpr std::uint32_t ex_tool_window = 0x80;
constexpr std::uint32_t ex_app_window = 0x40000;
constexpr std::uint32_t ex_layered = 0x80000;
constexpr std::uint32_t ex_no_activate = 0x8000000;
constexpr std::uint32_t style_popup = 0x80000000;
constexpr std::uint32_t style_caption = 0xC00000;

constexpr std::string_view overlay_class = "VestrilonTrafficOverlayV6";
constexpr std::string_view overlay_title = "Vestrilon traffic";

// A shade the eye barely tells apart; screen captures of the same picture
// stay within it.
constexpr int faint_shade = 6;
// The tint changes the whole translucent body, most of the picture.
constexpr std::size_t hover_changed_share_percent = 40;
// Whatever changes behind the translucent body (a clock, a video) shows
// through a little; a tint left over changes nearly every pixel.
constexpr std::size_t back_changed_share_percent = 10;
constexpr std::size_t hint_min_pixels = 12;
constexpr int hint_top = 106;
constexpr int hint_bottom = 125;
constexpr Rgb hint_green{46, 204, 128};

std::string hex(std::uint32_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(value >> shift) & 15];
    return "0x" + text;
}

std::string joined(std::span<const EventName> names) {
    if (names.empty()) return "nothing";
    std::string text;
    for (const EventName& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::size_t count_lines(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

std::vector<std::string> window_contract_faults(const WindowFacts& facts) {
    std::vector<std::string> faults;
    const auto need = [&](std::uint32_t bit, const char* what) {
        if ((facts.ex_style & bit) == 0) faults.push_back(std::string("not ") + what);
    };
    need(ex_topmost, "topmost");
    need(ex_tool_window, "a tool window");
    need(ex_no_activate, "no-activate");
    need(ex_layered, "layered");
    // A tool window without an owner keeps off the taskbar unless it asks
    // for a button itself.
    if ((facts.ex_style & ex_app_window) != 0 || (facts.ex_style & ex_tool_window) == 0) {
        faults.emplace_back("has a taskbar button");
    }
    if ((facts.style & style_popup) == 0 || (facts.style & style_caption) != 0) {
        faults.push_back("style " + hex(facts.style) + " is not a bare popup");
    }
    const std::int32_t width = facts.rect.right - facts.rect.left;
    const std::int32_t height = facts.rect.bottom - facts.rect.top;
    if (width != 208 || height != 132) {
        faults.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
    }
    if (facts.class_name != overlay_class) faults.push_back("class \"" + facts.class_name + "\"");
    if (facts.title != overlay_title) faults.push_back("title \"" + facts.title + "\"");
    return faults;
}

std::string window_summary(const WindowFacts& facts) {
    return "ex-style " + hex(facts.ex_style) + " style " + hex(facts.style) + " " +
           std::to_string(facts.rect.right - facts.rect.left) + "x" +
           std::to_string(facts.rect.bottom - facts.rect.top) + " \"" + facts.title + "\"";
}

ForegroundVerdict judge_foreground(const ForegroundFacts& before, const ForegroundFacts& after,
                                   std::uint32_t helper_pid, bool clicks_activate_anyway) {
    ForegroundVerdict verdict;
    const bool helpers = after.id != 0 && after.pid == helper_pid;
    verdict.taken = helpers && !clicks_activate_anyway;
    if (verdict.taken) {
        verdict.note = "the helper took the foreground: " + after.text;
    } else if (after.id == before.id) {
        return verdict;
    } else if (helpers) {
        verdict.note = "the click activated " + after.text +
                       " (this system activates any clicked window; not counted)";
    } else {
        verdict.note = "foreground changed to " + (after.id == 0 ? "none" : after.text) + " (pid " +
                       std::to_string(after.pid) + ", not the helper's)";
    }
    return verdict;
}

bool covers_overlay(const FrontWindow& front, const ScreenRect& overlay_monitor) {
    if (front.shell || front.has_caption || !front.topmost) return false;
    if (front.monitor != overlay_monitor) return false;
    const ScreenRect& w = front.rect;
    const ScreenRect& m = front.monitor;
    return w.left <= m.left && w.top <= m.top && w.right >= m.right && w.bottom >= m.bottom;
}

std::string events_difference(std::span<const EventName> got, std::span<const EventName> expected) {
    if (std::equal(got.begin(), got.end(), expected.begin(), expected.end())) return {};
    return "got " + joined(got) + ", expected " + joined(expected);
}

std::string state_rate_fault(const StateRate& rate) {
    using std::chrono::milliseconds;
    std::string fault;
    // About every 33 ms: at least one report per 100 ms held and no gap over
    // half a second, room enough for a machine busy with other work.
    const auto held_expected = static_cast<std::size_t>(rate.held_for / milliseconds(100));
    if (rate.held_reports == 0 || rate.held_reports < held_expected ||
        rate.worst_held_gap > milliseconds(500)) {
        fault = "held " + std::to_string(rate.held_for.count()) +
                "ms: " + std::to_string(rate.held_reports) + " states, worst gap " +
                std::to_string(rate.worst_held_gap.count()) + "ms";
    }
    // One a second: a few in the time at rest, never a stream.
    const auto rest_allowed = 2 + static_cast<std::size_t>(rate.rest_for / milliseconds(1000));
    if (rate.rest_reports > rest_allowed) {
        if (!fault.empty()) fault += "; ";
        fault += "at rest " + std::to_string(rate.rest_reports) + " states in " +
                 std::to_string(rate.rest_for.count()) + "ms";
    }
    return fault;
}

std::size_t pixels_changed(const Capture& a, const Capture& b) {
    if (a.width != b.width || a.height != b.height || a.bgra.size() != b.bgra.size()) {
        return static_cast<std::size_t>(std::max(a.width * a.height, b.width * b.height));
    }
    std::size_t changed = 0;
    for (std::size_t at = 0; at + 3 < a.bgra.size(); at += 4) {
        for (std::size_t channel = 0; channel < 3; ++channel) {
            if (std::abs(int{a.bgra[at + channel]} - int{b.bgra[at + channel]}) > faint_shade) {
                ++changed;
                break;
            }
        }
    }
    return changed;
}

std::size_t hint_pixels(const Capture& capture) {
    return count_near(capture, hint_top, hint_bottom, hint_green);
}

bool hover_drawn(const Capture& before, const Capture& during) {
    const auto area = static_cast<std::size_t>(std::max(during.width * during.height, 1));
    const bool tinted = pixels_changed(before, during) * 100 >= area * hover_changed_share_percent;
    const bool hint = hint_pixels(during) >= hint_pixels(before) + hint_min_pixels;
    return tinted && hint;
}

bool picture_back(const Capture& before, const Capture& after) {
    const auto area = static_cast<std::size_t>(std::max(after.width * after.height, 1));
    return pixels_changed(before, after) * 100 <= area * back_changed_share_percent &&
           hint_pixels(after) < hint_pixels(before) + hint_min_pixels;
}

std::string inbox_fault(std::string_view text, std::span<const std::string> lines) {
    std::string expected;
    for (const std::string& line : lines) expected += line + '\n';
    if (text == expected) return {};
    return "holds " + std::to_string(count_lines(text)) + " lines (" + std::to_string(text.size()) +
           " bytes), expected " + std::to_string(lines.size()) + " line" +
           (lines.size() == 1 ? "" : "s") + (lines.empty() ? "" : " " + lines.front());
}

}  // namespace vth::peer
