#pragma once
// The self-test's decisions: which checks run in which order, how a
// measured figure is judged, and how the lines and the report read. No
// system calls here, so every judgement builds and runs natively.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/screen_point.hpp"

namespace vth::peer {

// Exit codes of --self-test.
inline constexpr int self_test_passed = 0;
inline constexpr int self_test_failed = 1;
inline constexpr int self_test_usage = 2;
inline constexpr int self_test_cannot_run = 3;

// Every check, in the order it runs and prints.
inline constexpr std::array<std::string_view, 21> self_test_checks{"hello",
                                                                   "window",
                                                                   "first-state",
                                                                   "set-position",
                                                                   "set-visible-false",
                                                                   "set-visible-true",
                                                                   "update-content",
                                                                   "click-top-edge",
                                                                   "click-lower-edge",
                                                                   "right-click",
                                                                   "double-click-lower",
                                                                   "double-click-top",
                                                                   "move-lower-5",
                                                                   "move-top-20",
                                                                   "press-held",
                                                                   "drag-lower-6",
                                                                   "set-position-after-drag",
                                                                   "ole-drag-hover",
                                                                   "ole-drop",
                                                                   "inbox",
                                                                   "shutdown"};

struct CheckLine {
    std::string_view name;
    bool passed = false;
    std::string figure;
};

// "PASS name figure" or "FAIL name figure".
std::string check_line_text(const CheckLine& line);

// A rectangle in virtual-screen pixels, right and bottom exclusive.
struct ScreenRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct DisplayInfo {
    std::string name;
    ScreenRect monitor;
    ScreenRect work;
    std::uint32_t dpi = 96;
    bool primary = false;
};

// Where an overlay asked for far off every display must land: inside the
// work area whose nearest point is closest to the overlay's centre, at that
// point's corner. Nothing without a usable display.
std::optional<ScreenPoint> expected_far_clamp(ScreenPoint requested,
                                              std::span<const DisplayInfo> displays);

// Where the 20 positions of the latency run go: inside the work area.
std::vector<ScreenPoint> latency_positions(const ScreenRect& work, std::size_t count);

struct Latency {
    std::chrono::milliseconds median{0};
    std::chrono::milliseconds worst{0};
};
Latency latency_of(std::vector<std::chrono::milliseconds> samples);
// The helper answers a command on its next 8 ms pass; these bounds leave
// room for a busy machine and still catch a helper that polls too slowly.
bool latency_acceptable(const Latency& latency);

// Pixels of a capture, blue, green, red, alpha per pixel, rows top down.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// Pixels within rows [top, bottom) of the capture whose channels all lie
// within tolerance of the colour.
std::size_t count_near(const Capture& capture, int top, int bottom, Rgb colour);

struct ContentColours {
    std::size_t title = 0;
    std::size_t upload = 0;
    std::size_t download = 0;
};
// The title's white in the title band, the two graph colours in the graph band.
ContentColours content_colours(const Capture& capture);
bool content_drawn(const ContentColours& colours);

// The updateContent line the self-test sends: a white title and two
// clearly separate graph lines.
std::string self_test_content();

// The URL the OLE drag offers.
std::string self_test_url(std::string_view token);

// The log's lines without their time stamps.
std::vector<std::string> log_messages(std::string_view log);
// At most the last count lines that are not empty.
std::vector<std::string> last_lines(std::span<const std::string> messages, std::size_t count);
// The id of "starting helper build=<id> ...", the last such line.
std::optional<std::string> build_id_of(std::span<const std::string> messages);
// What the helper logs for a dropped text (ASCII without quotes or
// backslashes, as the self-test's URL is).
std::string drop_log_line(std::string_view text);

// Where the drag source window goes: beside the overlay, inside the work area.
ScreenRect drag_source_place(const ScreenRect& overlay, const ScreenRect& work);

struct ReportFacts {
    std::string build_id;
    std::string windows_version;
    std::vector<DisplayInfo> displays;
    std::string integrity;
    std::string helper_path;
    std::string outcome;                  // the last line printed after the checks
    std::vector<std::string> helper_log;  // its last lines, time stamps removed
};
std::string report_text(std::span<const CheckLine> lines, const ReportFacts& facts);

}  // namespace vth::peer
