#pragma once
// One run of the self-test's checks against a helper that has connected:
// commands on the connection, real input on its overlay, and what came back.
// The session runs on the thread that made it; the reports fill from the
// reader thread.
#include <chrono>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper_process.hpp"
#include "helper_reports.hpp"
#include "outbox.hpp"
#include "self_test_checks.hpp"
#include "self_test_desktop.hpp"
#include "self_test_judgements.hpp"

namespace vth::peer {

// Where the configuration asks for the overlay: far off every display, so
// the first state shows the clamp at work.
inline constexpr ScreenPoint far_request{-30000, -30000};

// A line on standard output, flushed at once.
void say(const std::string& line);

// One gesture on the overlay: where the left or right button goes down, how
// far the pointer then moves with it held, and what must come of it.
struct Gesture {
    std::string_view name;
    ScreenPoint offset;  // from the overlay's top-left
    MouseButton button = MouseButton::left;
    int clicks = 1;
    std::int32_t move = 0;  // pixels to the side while held
    std::vector<EventName> expected;
    bool window_moves = false;
};

// Runs the checks in order, printing each line as it is decided.
class Session {
  public:
    using Clock = std::chrono::steady_clock;
    using milliseconds = std::chrono::milliseconds;

    Session(Desktop& desktop, HelperReports& reports, Outbox& outbox, HelperProcess& helper,
            std::string data_dir, std::string token)
        : desktop_(desktop),
          reports_(reports),
          outbox_(outbox),
          helper_(helper),
          data_dir_(std::move(data_dir)),
          token_(std::move(token)) {}

    // False when the run stopped because input would go astray (the reason
    // is in cannot_run).
    bool run();

    std::vector<CheckLine> lines;
    std::optional<std::string> cannot_run;
    std::string integrity = "unknown";
    std::optional<Capture> screenshot;

  private:
    static constexpr milliseconds input_pace{15};  // lets the overlay's 8 ms loop see each step
    static constexpr milliseconds click_gap{80};
    static constexpr milliseconds reply_timeout{3000};

    // Prints the line; a failed send is named on the first failing line.
    void record(std::string_view name, bool passed, std::string figure);
    void send(const std::string& line);
    std::string vestrilon_file(std::string_view name) const;
    std::optional<HelperReport> wait_report(std::size_t from,
                                            const std::function<bool(const HelperReport&)>& match,
                                            milliseconds timeout);
    // Only what came after `from`, so an action of an earlier gesture cannot
    // stand in for the one expected.
    std::optional<HelperReport> wait_action(std::size_t from, std::string_view action,
                                            milliseconds timeout);
    bool wait_until(const std::function<bool()>& condition, milliseconds timeout);
    // The events (actions, drops, clipboard requests) from `from` on.
    std::vector<EventName> events_since(std::size_t from) const;
    // Waits until `count` events came or the wait ran out, then a settle
    // time in which an extra event would show.
    std::vector<EventName> settled_events(std::size_t from, std::size_t count);
    ScreenRect work_area() const;
    ScreenPoint on_overlay(ScreenPoint offset) const;
    bool input_reaches(std::initializer_list<ScreenPoint> points);
    // Apart from a double-click, left presses must not pair up into one.
    void wait_out_double_click();
    // Presses at the point and waits for the state that says so; the index
    // of that state, nothing when it did not come.
    std::optional<std::size_t> press_and_hold(ScreenPoint at, MouseButton button);
    void release(MouseButton button);
    void glide(ScreenPoint from, ScreenPoint to, int steps);
    // Fails the line only when the helper took the foreground; after a
    // click, not where the system activates every clicked window.
    bool foreground_kept(const ForegroundFacts& before, std::string& figure, bool clicked = true);

    void check_hello();
    void check_window();
    void check_first_state();
    void check_set_position();
    void check_visibility(bool visible);
    void check_update_content();
    void check_gesture(const Gesture& gesture);
    void check_press_held();
    void check_set_position_after_drag();
    void check_ole_drag();
    // Presses on the drag source and moves onto the overlay until a state
    // says it hovers and the picture shows it; releases there.
    struct Hover {
        std::optional<HelperReport> state;
        milliseconds after{0};
        std::optional<Capture> picture;
        Clock::time_point released;
    };
    Hover drag_over_overlay(ScreenPoint source, std::size_t mark,
                            const std::optional<Capture>& before);
    void check_drop(const std::string& url, std::size_t mark, const ForegroundFacts& foreground,
                    const std::optional<Capture>& before, Clock::time_point released);
    void check_inbox();
    void check_shutdown();

    Desktop& desktop_;
    HelperReports& reports_;
    Outbox& outbox_;
    HelperProcess& helper_;
    std::string data_dir_;
    std::string token_;
    std::vector<DisplayInfo> displays_;
    std::size_t next_ = 0;
    std::optional<std::string> send_error_;  // until a line has named it
    ScreenRect overlay_{};
    Clock::time_point last_left_press_{};
    std::optional<ScreenPoint> dragged_to_;
};

// The gestures on the overlay, in the order they run: both sides of every
// edge of the gesture table.
std::vector<Gesture> overlay_gestures();

}  // namespace vth::peer
