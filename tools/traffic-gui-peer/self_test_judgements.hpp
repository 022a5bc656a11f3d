#pragma once
// How the self-test judges what it saw on the desktop: the overlay window's
// styles, who holds the foreground, whether a window in front covers the
// overlay, the events a gesture caused, the rate of state reports, the
// pictures around a drag, and the inbox files. Plain data in, verdicts out,
// so every judgement builds and runs natively.
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "self_test_checks.hpp"

namespace vth::peer {

// The overlay window as another program reads it.
struct WindowFacts {
    std::uint32_t ex_style = 0;
    std::uint32_t style = 0;
    std::string class_name;
    std::string title;
    ScreenRect rect;
};

// What breaks the overlay's promises to the user (on top, never activated,
// no taskbar button, its size, class and title); empty when nothing does.
std::vector<std::string> window_contract_faults(const WindowFacts& facts);
// "ex-style 0x08080088 style 0x80000000 208x132 \"title\"", for the line.
std::string window_summary(const WindowFacts& facts);

// The foreground window at one moment.
struct ForegroundFacts {
    std::uintptr_t id = 0;  // 0: none
    std::uint32_t pid = 0;
    std::string text;  // title and class, for the line
};

struct ForegroundVerdict {
    bool taken = false;  // the helper's process holds it now
    std::string note;    // empty when nothing changed
};
// Only a window of the helper taking the foreground is the helper's doing;
// another program's change is named but not held against it. Wine
// activates a clicked window whatever its styles: there a click's
// activation is named, and left to the window's styles to judge.
ForegroundVerdict judge_foreground(const ForegroundFacts& before, const ForegroundFacts& after,
                                   std::uint32_t helper_pid, bool clicks_activate_anyway = false);

// A window in front of everything else, as the covered-overlay test sees it.
struct FrontWindow {
    ScreenRect rect;
    ScreenRect monitor;  // of the monitor the window is on
    bool has_caption = false;
    bool topmost = false;
    bool shell = false;  // desktop, wallpaper, the helper's or our own window
};
// True when the window is full-screen on the overlay's monitor in a way that
// can hide a topmost overlay: a maximized window keeps its caption, and a
// window that is not topmost stays below one that is.
bool covers_overlay(const FrontWindow& front, const ScreenRect& overlay_monitor);

// An event the helper sent, by name: "action:<name>", "addFromClipboard",
// "textDropped".
using EventName = std::string;
// Empty when got is exactly expected, in order; else what differs.
std::string events_difference(std::span<const EventName> got, std::span<const EventName> expected);

// State reports while a button is held come about every 33 ms; at rest one a
// second. Bounds leave room for a busy machine and still catch a helper
// that goes quiet while held or floods at rest.
struct StateRate {
    std::size_t held_reports = 0;
    std::chrono::milliseconds held_for{0};
    std::chrono::milliseconds worst_held_gap{0};
    std::size_t rest_reports = 0;
    std::chrono::milliseconds rest_for{0};
};
std::string state_rate_fault(const StateRate& rate);

// Pixels whose colour differs by more than a faint shade.
std::size_t pixels_changed(const Capture& a, const Capture& b);
// The drop-hover picture: the whole body tinted and the bottom line in the
// hint's green, against the picture just before.
bool hover_drawn(const Capture& before, const Capture& during);
// Back to the picture before the drag: no tint and no hint left, whatever
// shows through from behind.
bool picture_back(const Capture& before, const Capture& after);
// Pixels of the hint's green in the bottom line.
std::size_t hint_pixels(const Capture& capture);

// What differs between an inbox file and the lines the session caused.
std::string inbox_fault(std::string_view text, std::span<const std::string> lines);

}  // namespace vth::peer
