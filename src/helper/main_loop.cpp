#include "helper/main_loop.hpp"

#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "helper/log_preview.hpp"
#include "helper/send_message.hpp"

namespace vth {
namespace {

using Clock = std::chrono::steady_clock;

TrafficSample to_sample(const WireSample& wire) {
    return TrafficSample{wire.t, wire.up, wire.down};
}

// Phase 1; true when a "shutdown" was taken.
bool apply_commands(const MainLoopServices& services, OverlayControl& overlay,
                    Receiver<OverlayCommand>& commands) {
    while (auto next = commands.try_receive()) {
        bool shutdown = std::visit(
            [&](auto& command) {
                using T = std::decay_t<decltype(command)>;
                if constexpr (std::is_same_v<T, command::SetVisible>) {
                    overlay.set_visible(command.visible);
                } else if constexpr (std::is_same_v<T, command::SetPosition>) {
                    overlay.set_position(command.x, command.y);
                } else if constexpr (std::is_same_v<T, command::UpdateContent>) {
                    std::vector<TrafficSample> samples;
                    samples.reserve(command.samples.size());
                    for (const WireSample& wire : command.samples)
                        samples.push_back(to_sample(wire));
                    std::optional<Feedback> feedback;
                    if (command.feedback) {
                        feedback = Feedback{command.feedback->first, command.feedback->second};
                    }
                    overlay.update_content(command.title, command.subtitle, feedback, samples,
                                           command.drop_hover);
                } else {
                    services.log_last("traffic helper received shutdown");
                    return true;
                }
                return false;
            },
            *next);
        if (shutdown) return true;
    }
    return false;
}

Result<void> send_action(const MainLoopServices& services, OverlayControl& overlay,
                         ByteSink& stream, OverlayAction action) {
    auto name = action_name(action);
    if (!name) return {};
    auto position = overlay.outer_position();
    std::string line = "action=";
    line += *name;
    services.log(line);
    if (action == OverlayAction::ToggleVpn) {
        services.enqueue_toggle_vpn();
        services.log("toggleVpn inbox enqueued");
    }
    return send_message(stream, message::Action{std::string(*name), position});
}

Result<void> send_dropped_text(const MainLoopServices& services, ByteSink& stream,
                               std::string text) {
    std::string line = "textDropped len=";
    line += std::to_string(text.size());
    line += " preview=";
    line += quoted_preview(text);
    services.log(line);
    return send_message(stream, message::TextDropped{std::move(text)});
}

// Phase 2: every queued overlay event, stopping at the first failed write.
Result<void> forward_events(const MainLoopServices& services, OverlayControl& overlay,
                            ByteSink& stream) {
    for (;;) {
        TrafficOverlayEvent event = overlay.pump();
        Result<void> sent;
        if (auto* action = std::get_if<overlay_event::Action>(&event)) {
            sent = send_action(services, overlay, stream, action->action);
        } else if (auto* dropped = std::get_if<overlay_event::TextDropped>(&event)) {
            sent = send_dropped_text(services, stream, std::move(dropped->text));
        } else if (std::holds_alternative<overlay_event::AddFromClipboard>(event)) {
            services.log("addFromClipboard");
            sent = send_message(stream, message::AddFromClipboard{});
        } else {
            return {};
        }
        if (!sent) return sent;
    }
}

// Phase 3.
Result<void> report_state(const MainLoopServices& services, OverlayControl& overlay,
                          ByteSink& stream, ReportedState& last) {
    bool hovering = overlay.is_drop_hovering();
    bool interacting = overlay.is_interacting();
    auto position = overlay.outer_position();
    auto now = services.now();
    if (!state_report_due(last, hovering, interacting, position, now)) return {};
    auto sent = send_message(stream, message::State{hovering, interacting, position});
    if (!sent) return sent;
    last = ReportedState{now, hovering, interacting, position};
    return {};
}

}  // namespace

bool state_report_due(const ReportedState& last, bool hovering, bool interacting,
                      const std::optional<ScreenPoint>& position, Clock::time_point now) {
    if (hovering != last.hovering || interacting != last.interacting) return true;
    if (position != last.position) return true;
    Clock::duration heartbeat =
        interacting ? Clock::duration(heartbeat_interacting) : Clock::duration(heartbeat_idle);
    return now - last.time >= heartbeat;
}

std::optional<std::string_view> action_name(OverlayAction action) {
    switch (action) {
        case OverlayAction::RestoreMain:
            return "restoreMain";
        case OverlayAction::HideToTray:
            return "hideToTray";
        case OverlayAction::ToggleVpn:
            return "toggleVpn";
        case OverlayAction::DragEnded:
            return "dragEnded";
        default:
            return std::nullopt;
    }
}

Result<void> run_main_loop(const MainLoopServices& services, OverlayControl& overlay,
                           Receiver<OverlayCommand>& commands, ByteSink& stream) {
    // Starting a second in the past makes the first pass report at once.
    ReportedState last{services.now() - heartbeat_idle, false, false, std::nullopt};
    for (;;) {
        if (apply_commands(services, overlay, commands)) return {};
        if (auto sent = forward_events(services, overlay, stream); !sent) return sent;
        if (auto sent = report_state(services, overlay, stream, last); !sent) return sent;
        services.sleep(main_loop_sleep);
    }
}

}  // namespace vth
