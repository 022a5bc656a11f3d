#include "traffic_overlay/overlay_pass.hpp"

#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/diagnostics.hpp"
#include "traffic_overlay/content_hash.hpp"
#include "traffic_overlay/desktop_watch.hpp"
#include "traffic_overlay/gestures.hpp"

namespace vth {
namespace {

void store_window_position(OverlayThread& thread) {
    if (auto position = thread.window.outer_position()) thread.cells.store_position(*position);
}

// Once the desktop has settled, the overlay goes to the clamp of where it is
// meant to be, not of where the change left it, shown or hidden as it was.
// Its picture is presented again (a layered window can come back blank after
// sleep or a session switch) and it goes back on top of the topmost band.
void place_after_desktop_change(OverlayThread& thread) {
    ScreenPoint target = thread.services.clamp(thread.state.intended_position);
    if (thread.window.outer_position() != target) {
        thread.window.move_keeping_visibility(target);
        thread.cells.store_position(target);
    }
    thread.window.render(thread.state.content);
    thread.window.restore_topmost();
}

void follow_desktop(OverlayThread& thread, bool interacting) {
    if (!desktop_watch_busy(thread.state.desktop)) return;
    DesktopDue due = take_desktop_due(thread.state.desktop, thread.services.now(), interacting);
    if (due.settled) {
        place_after_desktop_change(thread);
    } else if (due.restore_topmost) {
        thread.window.restore_topmost();
    }
}

void set_position(OverlayThread& thread, const overlay_cmd::SetPosition& command) {
    const GestureState& gesture = thread.state.gesture;
    if (gesture_interacting(gesture) || gesture.user_moved) return;
    thread.state.intended_position = {command.x, command.y};
    ScreenPoint clamped = thread.services.clamp(thread.state.intended_position);
    thread.window.move_to(clamped);
    thread.cells.store_position(clamped);
}

void update_content(OverlayThread& thread, overlay_cmd::UpdateContent&& command) {
    OverlayState& state = thread.state;
    std::uint64_t hash = content_hash(command.content);
    state.content = std::move(command.content);
    auto now = thread.services.now();
    if (!content_redraw_due(hash, state.content_hash, state.last_content_render, now)) return;
    state.content_hash = hash;
    state.last_content_render = now;
    thread.window.render(state.content);
}

// Sets shutdown as soon as a Shutdown is taken, so that a pass abandoned
// after it still ends the loop.
void run_overlay_pass(OverlayThread& thread, bool& shutdown) {
    while (auto command = thread.commands.try_receive()) {
        if (apply_overlay_command(thread, std::move(*command))) shutdown = true;
    }
    thread.window.dispatch_messages();
    finish_overlay_pass(thread);
}

// A pass that threw (memory for a picture or a text) is given up; the next
// pass starts afresh, as after a picture that could not be drawn.
void report_abandoned_pass(std::string_view what) noexcept {
    if (!diag::has_sink()) return;
    try {
        diag::emit({diag::Level::warning,
                    std::string(diag::overlay_target),
                    "overlay pass abandoned",
                    {{"error", std::string(what)}}});
    } catch (...) {
    }
}

}  // namespace

bool content_redraw_due(std::uint64_t new_hash, std::uint64_t drawn_hash,
                        std::optional<std::chrono::steady_clock::time_point> last_render,
                        std::chrono::steady_clock::time_point now) {
    if (new_hash == drawn_hash) return false;
    if (!last_render) return true;
    return std::chrono::duration_cast<std::chrono::milliseconds>(now - *last_render) >=
           content_redraw_interval;
}

bool apply_overlay_command(OverlayThread& thread, OverlayCmd command) {
    return std::visit(
        [&](auto& cmd) {
            using T = std::decay_t<decltype(cmd)>;
            if constexpr (std::is_same_v<T, overlay_cmd::SetVisible>) {
                thread.window.show(cmd.visible);
            } else if constexpr (std::is_same_v<T, overlay_cmd::SetPosition>) {
                set_position(thread, cmd);
            } else if constexpr (std::is_same_v<T, overlay_cmd::UpdateContent>) {
                update_content(thread, std::move(cmd));
            } else {
                return true;
            }
            return false;
        },
        command);
}

bool apply_queued_commands(OverlayThread& thread) {
    bool shutdown = false;
    while (auto command = thread.commands.try_receive()) {
        shutdown = apply_overlay_command(thread, std::move(*command)) || shutdown;
    }
    return shutdown;
}

void finish_overlay_pass(OverlayThread& thread) {
    GestureState& gesture = thread.state.gesture;
    bool interacting = gesture_interacting(gesture);
    if (interacting) store_window_position(thread);
    thread.cells.interacting.exchange(interacting);

    // Where the drag left the window is now where it is meant to be; with the
    // rectangle unreadable, the place the last pass of the drag recorded.
    if (std::exchange(gesture.drag_ended, false)) {
        auto position = thread.window.outer_position();
        if (!position) position = thread.cells.last_position();
        if (position) thread.state.intended_position = *position;
    }

    if (std::exchange(gesture.double_click_pending, false)) {
        thread.events.send(overlay_event::AddFromClipboard{});
    }

    OverlayAction action = std::exchange(gesture.pending_action, OverlayAction::none);
    if (action != OverlayAction::none) {
        if (action == OverlayAction::DragEnded) store_window_position(thread);
        thread.events.send(overlay_event::Action{action});
    }

    if (auto text = thread.window.take_dropped_text()) {
        thread.events.send(overlay_event::TextDropped{std::move(*text)});
    }

    bool hovering = thread.cells.drop_hovering->load();
    if (hovering != thread.state.content.drop_hover) {
        thread.state.content.drop_hover = hovering;
        thread.state.content_hash = 0;
        thread.window.render(thread.state.content);
    }

    follow_desktop(thread, interacting);
}

void run_overlay_loop(OverlayThread& thread) {
    bool shutdown = false;
    for (;;) {
        try {
            run_overlay_pass(thread, shutdown);
        } catch (const std::exception& e) {
            report_abandoned_pass(e.what());
        } catch (...) {
            report_abandoned_pass("unknown exception");
        }
        if (shutdown) return;
        thread.services.sleep(overlay_loop_sleep);
    }
}

void overlay_thread_main(OverlayPlacement placement, Receiver<OverlayCmd> commands,
                         Sender<TrafficOverlayEvent> events,
                         const std::shared_ptr<OverlayCells>& cells,
                         const OverlayServices& services) {
    OverlayState state;
    state.intended_position = placement.requested;
    std::unique_ptr<OverlayWindow> window = services.open_window(placement.clamped, state, cells);
    if (!window) return;
    cells->ole_registered.exchange(window->drop_target_registered());
    window->render(state.content);
    OverlayThread thread{state, *window, commands, events, *cells, services};
    run_overlay_loop(thread);
    window.reset();
}

}  // namespace vth
