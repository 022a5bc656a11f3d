#pragma once
// One started helper and everything around it: the listening socket, the
// supervising thread (starts the helper, waits for its hello, reads its
// messages into the event queue, starts it again when it ends) and the
// sending thread (the commands the GUI asked for, paced). Public members may
// be called from any thread; stop once, from a thread that is neither of
// ours.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "client/client_event.hpp"
#include "client/command_plan.hpp"
#include "client/event_queue.hpp"
#include "client/event_signal.hpp"
#include "client/hello_wait.hpp"
#include "client/helper_launch.hpp"
#include "client/helper_lines.hpp"
#include "client/loopback.hpp"
#include "client/restart_policy.hpp"
#include "common/error.hpp"
#include "common/os.hpp"

namespace vth::client {

struct ClientOptions {
    std::string helper_path;     // absolute
    std::string data_dir;        // the folder of the configuration and the log
    std::string local_app_data;  // its parent, LOCALAPPDATA for the helper
    ScreenPoint initial;
    Milliseconds hello_deadline{15000};
    RestartPolicy restart;
};

class Client {
  public:
    // Returns once the first helper has been started (not yet connected).
    static Result<std::unique_ptr<Client>> start(ClientOptions options);
    // Stops with no grace if stop was not called.
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::intptr_t event_handle() const noexcept { return signal_->native(); }
    std::optional<ClientEvent> next_event() { return events_.pop(); }

    void set_visible(bool visible);
    void set_position(ScreenPoint place);
    void update_content(command::UpdateContent content);
    // Sends shutdown, waits up to grace for the helper to end, ends it.
    void stop(Milliseconds grace);

  private:
    struct Run;  // one helper's outcome

    Client(ClientOptions options, std::unique_ptr<EventSignal> signal,
           std::unique_ptr<Listener> listener);

    void supervise(std::promise<Result<void>>* first);
    void supervision_failed(std::promise<Result<void>>& first) noexcept;
    Run run_helper(Launcher& launcher, std::promise<Result<void>>* first);
    // The helper's connection, or nothing with the reason.
    std::optional<Greeted> await_hello(HelperProcess& process, const std::string& token,
                                       std::string& reason);
    void converse(Connection& connection, LineBuffer& lines);
    void handle_line(const std::string& line);
    void send_loop();
    bool stop_due() const;
    bool wait_stop_until(Clock::time_point until);

    ClientOptions options_;
    std::unique_ptr<EventSignal> signal_;
    EventQueue events_;
    std::unique_ptr<Listener> listener_;
    std::string config_path_;
    std::string log_path_;
    std::string token_;  // the current helper's; supervising thread only

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Wanted wanted_;
    Unsent unsent_;
    std::shared_ptr<Connection> connection_;
    bool stopping_ = false;
    bool sender_done_ = false;
    Clock::time_point stop_deadline_;
    // Bumped whenever connection_ is dropped: a write to an older one gives up.
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> stop_passed_{false};

    os::Thread supervisor_;
    os::Thread sender_;
    bool stopped_ = false;
};

}  // namespace vth::client
