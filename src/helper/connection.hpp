#pragma once
// The helper's life after start-up: the overlay, the connection to the GUI
// and its hello, the command reader thread, the main loop and the teardown.
// Services come in one struct so tests replace the overlay, the socket, the
// thread start and the clock. Main thread only.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/error.hpp"
#include "common/screen_point.hpp"
#include "helper/main_loop.hpp"
#include "helper/overlay_control.hpp"
#include "helper/socket_stream.hpp"
#include "protocol/config.hpp"

namespace vth {

struct ConnectionServices {
    std::function<ScreenPoint(ScreenPoint)> clamp;
    // Nothing when the overlay thread cannot be started.
    std::function<std::unique_ptr<OverlayControl>(ScreenPoint)> create_overlay;
    std::function<Result<std::unique_ptr<SocketStream>>(const std::string& host,
                                                        std::uint16_t port)>
        connect;
    // Starts body on the detached command reader thread.
    std::function<Result<void>(std::move_only_function<void()> body)> start_reader;
    MainLoopServices loop;
};

ConnectionServices system_connection_services();

inline constexpr auto ole_registration_wait = std::chrono::seconds(2);
inline constexpr auto ole_registration_poll = std::chrono::milliseconds(20);
inline constexpr auto gui_write_timeout = std::chrono::seconds(2);
inline constexpr std::string_view reader_thread_name = "vestrilon-traffic-helper-command-reader";

// Success after "shutdown"; the error of the step that failed otherwise. The
// overlay is gone and the stream closed by the time it returns.
Result<void> run_connection(const HelperConfig& config, const std::string& integrity,
                            const ConnectionServices& services);

// The command reader's body: lines from source into commands until the end
// of the stream, a read error or a receiver that is gone; rejected lines are
// logged; anything thrown counts as a read error. Closes source, then the
// sending end, when it returns.
void run_command_reader(std::unique_ptr<ByteSource> source, Sender<OverlayCommand> commands,
                        const std::function<void(std::string_view)>& log) noexcept;

}  // namespace vth
