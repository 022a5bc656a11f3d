#pragma once
// The main thread's polling loop: commands from the GUI to the overlay,
// overlay events to the GUI, and the state report on change and as a
// heartbeat. Services come in one struct so every phase runs in tests with a
// fake clock. Main thread only.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/channel.hpp"
#include "common/error.hpp"
#include "common/screen_point.hpp"
#include "helper/byte_stream.hpp"
#include "helper/overlay_control.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

struct MainLoopServices {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<void(std::string_view)> log;
    // The run's last line: nothing, the reader's lines included, is written after it.
    std::function<void(std::string_view)> log_last;
    std::function<void()> enqueue_toggle_vpn;  // reports nothing
};

inline constexpr auto main_loop_sleep = std::chrono::milliseconds(8);
inline constexpr auto heartbeat_interacting = std::chrono::milliseconds(33);
inline constexpr auto heartbeat_idle = std::chrono::seconds(1);

// The state last written successfully.
struct ReportedState {
    std::chrono::steady_clock::time_point time;
    bool hovering = false;
    bool interacting = false;
    std::optional<ScreenPoint> position;
};

// Whether a state message is due: a flag or the position changed, or the
// heartbeat interval (33 ms while interacting, 1 s otherwise) has passed.
bool state_report_due(const ReportedState& last, bool hovering, bool interacting,
                      const std::optional<ScreenPoint>& position,
                      std::chrono::steady_clock::time_point now);

// The name sent for an action code; nothing for codes the GUI is not told of.
std::optional<std::string_view> action_name(OverlayAction action);

// Runs until a "shutdown" command (success) or a failed write (its error).
Result<void> run_main_loop(const MainLoopServices& services, OverlayControl& overlay,
                           Receiver<OverlayCommand>& commands, ByteSink& stream);

}  // namespace vth
