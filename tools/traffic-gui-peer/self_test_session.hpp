#pragma once
// One run of the self-test's checks against a helper that has connected:
// commands on the connection, real input on its overlay, and what came back.
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

namespace vth::peer {

// Where the configuration asks for the overlay: far off every display, so
// the first state shows the clamp at work.
inline constexpr ScreenPoint far_request{-30000, -30000};

// A line on standard output, flushed at once.
void say(const std::string& line);

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
    ScreenRect work_area() const;
    ScreenPoint on_overlay(std::int32_t dx, std::int32_t dy) const;
    bool input_reaches(std::initializer_list<ScreenPoint> points);
    // Apart from a double-click, left presses must not pair up into one.
    void wait_out_double_click();
    // The index from which the click's reports come.
    std::size_t click(ScreenPoint at, MouseButton button, int count);
    void glide(ScreenPoint from, ScreenPoint to, int steps);

    void check_hello();
    void check_first_state();
    void check_set_position();
    void check_visibility(bool visible);
    void check_update_content();
    void check_click_top();
    void check_click(std::string_view name, ScreenPoint at, MouseButton button,
                     std::string_view action);
    void check_double_click();
    void check_drag();
    void check_set_position_after_drag();
    void check_ole_drag();
    // Presses on the drag source and moves onto the overlay until a state
    // says it hovers; releases there.
    std::optional<HelperReport> drag_over_overlay(ScreenPoint source, std::size_t mark,
                                                  milliseconds& hover_after);
    void check_drop(const std::string& url, std::size_t mark,
                    const std::optional<DragOutcome>& outcome);
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

}  // namespace vth::peer
