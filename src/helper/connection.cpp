#include "helper/connection.hpp"

#include <utility>

#include "common/os.hpp"
#include "helper/command_reader.hpp"
#include "helper/log.hpp"
#include "helper/send_message.hpp"
#include "traffic_drop/pending_inbox.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth {
namespace {

std::string point_text(ScreenPoint p) {
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

// Set-up steps 1 to 4: the overlay on screen, and whether drops work.
Result<std::unique_ptr<OverlayControl>> create_overlay(const HelperConfig& config,
                                                       const std::string& integrity,
                                                       const ConnectionServices& services,
                                                       bool& ole_registered) {
    const auto& loop = services.loop;
    ScreenPoint requested{config.x, config.y};
    ScreenPoint clamped = services.clamp(requested);
    if (clamped != requested) {
        loop.log("overlay position clamped from=" + point_text(requested) +
                 " to=" + point_text(clamped));
    }
    std::unique_ptr<OverlayControl> overlay = services.create_overlay(clamped);
    if (!overlay) return fail("could not create overlay HWND");
    auto began = loop.now();
    while (!overlay->ole_registered() && loop.now() - began < ole_registration_wait) {
        loop.sleep(ole_registration_poll);
    }
    ole_registered = overlay->ole_registered();
    ScreenPoint at = overlay->outer_position().value_or(clamped);
    loop.log("overlay created integrity=" + integrity +
             " ole_registration=" + (ole_registered ? "success" : "failed") +
             " x=" + std::to_string(at.x) + " y=" + std::to_string(at.y) + " size=208x132");
    return overlay;
}

// Set-up steps 5 and 6: the connected, configured stream and its duplicate.
Result<std::pair<std::unique_ptr<SocketStream>, std::unique_ptr<SocketStream>>> connect_to_gui(
    const HelperConfig& config, const ConnectionServices& services) {
    auto stream = services.connect(config.host, config.port);
    if (!stream) return std::unexpected(stream.error());
    if (auto done = (*stream)->set_no_delay(); !done) return std::unexpected(done.error());
    if (auto done = (*stream)->set_write_timeout(gui_write_timeout); !done) {
        return std::unexpected(done.error());
    }
    auto duplicate = (*stream)->duplicate();
    if (!duplicate) return std::unexpected(duplicate.error());
    return std::pair{std::move(*stream), std::move(*duplicate)};
}

}  // namespace

void run_command_reader(std::unique_ptr<ByteSource> source, Sender<OverlayCommand> commands,
                        const std::function<void(std::string_view)>& log) noexcept {
    // A read error ends reading like the end of the stream, and nothing is told
    // to the main thread: it notices a lost GUI at its next write. Anything
    // thrown (memory for a long line) is such a read error.
    try {
        [[maybe_unused]] auto ended = read_commands(
            *source, [&](OverlayCommand command) { return commands.send(std::move(command)); },
            log);
    } catch (...) {
    }
    source.reset();
    commands.close();
}

Result<void> run_connection(const HelperConfig& config, const std::string& integrity,
                            const ConnectionServices& services) {
    bool ole_registered = false;
    auto overlay = create_overlay(config, integrity, services, ole_registered);
    if (!overlay) return std::unexpected(overlay.error());
    auto streams = connect_to_gui(config, services);
    if (!streams) return std::unexpected(streams.error());
    auto& [stream, reader_stream] = *streams;

    auto hello = send_message(*stream, message::Hello{config.token, integrity, ole_registered});
    if (!hello) return hello;
    services.loop.log("hello sent integrity=" + integrity +
                      " ole_registered=" + (ole_registered ? "true" : "false") +
                      " gui_pid=" + std::to_string(config.gui_pid));

    auto [command_sender, receiver] = make_channel<OverlayCommand>();
    auto started = services.start_reader([source = std::move(reader_stream),
                                          sender = std::move(command_sender),
                                          log = services.loop.log]() mutable {
        run_command_reader(std::move(source), std::move(sender), log);
    });
    if (!started) return started;

    auto result = run_main_loop(services.loop, **overlay, receiver, *stream);
    receiver.close();
    stream.reset();
    overlay->reset();
    return result;
}

ConnectionServices system_connection_services() {
    return ConnectionServices{
        .clamp = [](ScreenPoint p) { return clamp_to_visible_displays(p); },
        .create_overlay = [](ScreenPoint p) -> std::unique_ptr<OverlayControl> {
            auto overlay = TrafficOverlay::create(p.x, p.y);
            if (!overlay) return nullptr;
            return std::make_unique<TrafficOverlayControl>(std::move(*overlay));
        },
        .connect = connect_tcp,
        .start_reader = [](std::move_only_function<void()> body) -> Result<void> {
            auto thread = os::start_thread(std::string(reader_thread_name), std::move(body));
            if (!thread) return std::unexpected(thread.error());
            thread->detach();
            return {};
        },
        .loop =
            MainLoopServices{
                .now = [] { return std::chrono::steady_clock::now(); },
                .sleep = [](std::chrono::milliseconds d) { os::sleep_for(d); },
                .log = [](std::string_view line) { append_log(line); },
                .log_last = [](std::string_view line) { append_last_log_line(line); },
                .enqueue_toggle_vpn = [] { drop::enqueue_pending_toggle_vpn(); },
            },
    };
}

}  // namespace vth
