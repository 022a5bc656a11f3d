#include "client/client.hpp"

#include <memory>
#include <vector>

#include "client/client_files.hpp"
#include "client/hello_wait.hpp"
#include "client/helper_lines.hpp"
#include "client/token.hpp"
#include "protocol/command_encode.hpp"
#include "protocol/config.hpp"
#include "protocol/message_decode.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;

constexpr auto read_slice = 100ms;
// A helper that takes nothing for this long is treated as lost.
constexpr auto write_stall_limit = 5s;
// After its connection ends a helper has this long to exit by itself.
constexpr auto exit_wait = 2s;
constexpr std::size_t log_tail_bytes = std::size_t{64} * 1024;
constexpr std::size_t read_buffer_bytes = std::size_t{64} * 1024;
// Content goes out in pieces of this many samples, a few tens of kilobytes.
constexpr std::size_t samples_per_piece = 2048;

ClientEvent event_of_kind(EventKind kind) {
    ClientEvent event;
    event.kind = kind;
    return event;
}

}  // namespace

struct Client::Run {
    bool started = false;
    int exit_code = -1;
    std::string reason;  // what we saw, when the log says nothing
    Milliseconds connected_for{0};
};

Client::Client(ClientOptions options, std::unique_ptr<EventSignal> signal,
               std::unique_ptr<Listener> listener)
    : options_(std::move(options)),
      signal_(std::move(signal)),
      events_(*signal_),
      listener_(std::move(listener)),
      config_path_(os::join_path(options_.data_dir, "traffic-helper.json")),
      log_path_(os::join_path(options_.data_dir, "traffic-helper.log")) {}

Result<std::unique_ptr<Client>> Client::start(ClientOptions options) {
    auto signal = make_event_signal();
    if (!signal) return std::unexpected(signal.error());
    auto listener = listen_exclusive();
    if (!listener) return fail("cannot listen on 127.0.0.1: " + listener.error().text);
    std::unique_ptr<Client> client(
        new Client(std::move(options), std::move(*signal), std::move(*listener)));
    // The helper is started from the supervising thread: natively the
    // parent-death signal follows the thread that started the child.
    // Shared with the thread, so an answer it gives after a failure of its
    // own never lands in a promise that start has already left behind.
    auto first = std::make_shared<std::promise<Result<void>>>();
    auto first_started = first->get_future();
    Client* self = client.get();
    auto supervisor = os::start_thread("vtc-supervise", [self, first] {
        try {
            self->supervise(first.get());
        } catch (...) {
            self->supervision_failed(*first);
        }
    });
    if (!supervisor) return std::unexpected(supervisor.error());
    client->supervisor_ = std::move(*supervisor);
    Result<void> started = first_started.get();
    if (!started) {
        client->supervisor_.join();
        client->stopped_ = true;
        return std::unexpected(started.error());
    }
    auto sender = os::start_thread("vtc-send", [self] { self->send_loop(); });
    if (!sender) {
        client->stop(0ms);
        return std::unexpected(sender.error());
    }
    client->sender_ = std::move(*sender);
    return client;
}

Client::~Client() {
    if (!stopped_) stop(0ms);
}

void Client::set_visible(bool visible) {
    {
        const std::lock_guard lock(mutex_);
        wanted_.visible = visible;
        unsent_.visible = true;
    }
    changed_.notify_all();
}

void Client::set_position(ScreenPoint place) {
    {
        const std::lock_guard lock(mutex_);
        if (wanted_.dragged) return;
        wanted_.position = place;
        // setPosition also shows the overlay.
        wanted_.visible = true;
        unsent_.position = true;
    }
    changed_.notify_all();
}

void Client::update_content(command::UpdateContent content) {
    auto shared = std::make_shared<const command::UpdateContent>(std::move(content));
    {
        const std::lock_guard lock(mutex_);
        wanted_.content = std::move(shared);
        unsent_.content = true;
    }
    changed_.notify_all();
}

void Client::stop(Milliseconds grace) {
    if (stopped_) return;
    stopped_ = true;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        stop_deadline_ = Clock::now() + grace;
        if (connection_) unsent_.shutdown = true;
    }
    changed_.notify_all();
    if (supervisor_.joinable()) supervisor_.join();
    {
        const std::lock_guard lock(mutex_);
        sender_done_ = true;
        stop_passed_ = true;
    }
    changed_.notify_all();
    if (sender_.joinable()) sender_.join();
    // Natively the job object's part is played by the parent-death signal;
    // either way no helper of ours is left running here.
    (void)remove_file(config_path_);
}

bool Client::stop_due() const {
    const std::lock_guard lock(mutex_);
    if (stopping_ && Clock::now() >= stop_deadline_) {
        return true;
    }
    return false;
}

bool Client::wait_stop_until(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, until, [&] { return stopping_; });
}

// Nothing thrown may leave the thread: a start still waiting is answered,
// and a GUI already running learns that supervision ended.
void Client::supervision_failed(std::promise<Result<void>>& first) noexcept {
    try {
        first.set_value(std::unexpected(Error{"the supervising thread failed", 0}));
        return;
    } catch (...) {
    }
    try {
        events_.push(event_of_kind(EventKind::gave_up));
    } catch (...) {
    }
}

void Client::supervise(std::promise<Result<void>>* first) {
    auto launcher = make_launcher();
    if (!launcher) {
        first->set_value(std::unexpected(launcher.error()));
        return;
    }
    RestartHistory history;
    for (;;) {
        Run run = run_helper(**launcher, first);
        if (first != nullptr && !run.started) return;
        first = nullptr;
        note_run(history, run.connected_for);
        ClientEvent exited = event_of_kind(EventKind::exited);
        exited.exit_code = run.exit_code;
        exited.text = std::move(run.reason);
        events_.push(std::move(exited));
        if (wait_stop_until(Clock::now())) return;
        const auto delay = plan_restart(history, options_.restart, Clock::now());
        if (!delay) {
            events_.push(event_of_kind(EventKind::gave_up));
            return;
        }
        ClientEvent restarting = event_of_kind(EventKind::restarting);
        restarting.delay_ms = static_cast<std::uint32_t>(delay->count());
        events_.push(std::move(restarting));
        if (wait_stop_until(Clock::now() + *delay)) return;
    }
}

Client::Run Client::run_helper(Launcher& launcher, std::promise<Result<void>>* first) {
    Run run;
    auto start = [&]() -> Result<std::unique_ptr<HelperProcess>> {
        auto token = random_token();
        if (!token) return std::unexpected(token.error());
        ScreenPoint place;
        {
            const std::lock_guard lock(mutex_);
            place = start_place(wanted_, options_.initial);
        }
        const HelperConfig config{.host = "127.0.0.1",
                                  .port = listener_->port(),
                                  .token = *token,
                                  .x = place.x,
                                  .y = place.y,
                                  .gui_pid = os::process_id()};
        // A stale file that still decodes would be used at once by a helper
        // started meanwhile: it goes before the new one is written whole.
        os::create_directories(options_.data_dir);
        if (auto removed = remove_file(config_path_); !removed) {
            return std::unexpected(removed.error());
        }
        if (auto written = write_file_replacing(config_path_, encode_config(config)); !written) {
            return fail("cannot write " + config_path_ + ": " + written.error().text,
                        written.error().os_code);
        }
        auto process = launcher.start(options_.helper_path, options_.local_app_data);
        if (!process) return std::unexpected(process.error());
        token_ = std::move(*token);
        return process;
    };
    const std::uint64_t log_start = file_size(log_path_);
    auto process = start();
    if (first != nullptr) {
        first->set_value(process ? Result<void>{} : std::unexpected(process.error()));
    }
    if (!process) {
        // Nobody of ours will read it.
        (void)remove_file(config_path_);
        run.reason = process.error().text;
        return run;
    }
    run.started = true;
    HelperProcess& helper = **process;

    std::string missing;
    auto hello = await_hello(helper, token_, missing);
    // Whoever reads the file from now on is not ours.
    (void)remove_file(config_path_);
    if (hello) {
        const auto connected_at = Clock::now();
        std::shared_ptr<Connection> connection = std::move(hello->connection);
        {
            const std::lock_guard lock(mutex_);
            connection_ = connection;
            unsent_ = after_hello(wanted_);
            if (stopping_) unsent_.shutdown = true;
        }
        changed_.notify_all();
        events_.push(event_of(hello->hello));
        converse(*connection, hello->rest);
        {
            const std::lock_guard lock(mutex_);
            connection_.reset();
            ++generation_;
        }
        connection->shut_down();
        run.connected_for = std::chrono::duration_cast<Milliseconds>(Clock::now() - connected_at);
        run.reason = "the connection to the helper ended";
    } else {
        run.reason = std::move(missing);
    }

    // Time to exit by itself: the rest of the grace when stopping.
    Clock::time_point until = Clock::now() + exit_wait;
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) until = std::min(until, stop_deadline_);
    }
    auto code = helper.wait(std::chrono::duration_cast<Milliseconds>(
        std::max(until - Clock::now(), Clock::duration::zero())));
    run.exit_code = code ? *code : helper.kill();
    if (code) run.reason = "the helper ended";
    if (auto tail = read_file_from(log_path_, log_start, log_tail_bytes)) {
        if (auto fatal = fatal_line(*tail); !fatal.empty()) run.reason = std::move(fatal);
    }
    return run;
}

std::optional<Greeted> Client::await_hello(HelperProcess& process, const std::string& token,
                                           std::string& reason) {
    // A connection that says nothing is kept until the deadline, or until
    // newer ones push it out.
    const HelloWait wait{
        .token = token,
        .deadline = Clock::now() + options_.hello_deadline,
        .silence_limit = Milliseconds{0},
        .give_up = [&] { return wait_stop_until(Clock::now()) || process.wait(0ms).has_value(); },
        .refused = {}};
    auto greeted = client::await_hello(*listener_, wait);
    if (greeted) return std::move(*greeted);
    if (greeted.error().end == NoHello::End::accept_failed) {
        reason = "cannot accept the helper's connection: " + greeted.error().error.text;
    } else {
        reason = "the helper did not say hello within " +
                 std::to_string(options_.hello_deadline.count()) + " ms";
    }
    return std::nullopt;
}

void Client::converse(Connection& connection, LineBuffer& lines) {
    std::vector<char> buffer(read_buffer_bytes);
    for (;;) {
        while (auto line = lines.take()) handle_line(*line);
        if (stop_due()) return;
        auto got = connection.read(buffer, read_slice);
        if (!got || (*got && **got == 0)) return;  // failed or ended
        if (*got) lines.add(std::string_view(buffer.data(), **got));
    }
}

void Client::handle_line(const std::string& line) {
    auto message = decode_message(line);
    if (!message) return;  // a newer helper's message we do not know
    if (std::holds_alternative<message::Hello>(*message)) return;
    ClientEvent event = event_of(*message);
    if (event.kind == EventKind::action && event.text == "dragEnded" && event.position) {
        const std::lock_guard lock(mutex_);
        wanted_.dragged = event.position;
    }
    events_.push(std::move(event));
}

void Client::send_loop() {
    for (;;) {
        std::shared_ptr<Connection> connection;
        std::optional<Outgoing> line;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            for (;;) {
                if (sender_done_) return;
                std::optional<Clock::time_point> due;
                if (connection_) line = next_line(unsent_, wanted_, Clock::now(), due);
                if (line) break;
                if (due) {
                    changed_.wait_until(lock, *due);
                } else {
                    changed_.wait(lock);
                }
            }
            connection = connection_;
            generation = generation_;
        }
        auto abandon = [&] { return stop_passed_ || generation_ != generation || stop_due(); };
        bool sent = true;
        auto write = [&](std::string_view piece) {
            sent = connection->write_all(piece, write_stall_limit, abandon).has_value();
            return sent;
        };
        if (line->content) {
            encode_content_pieces(*line->content, samples_per_piece, write);
        } else {
            write(line->line);
        }
        // The reading side sees the end, and the helper is replaced.
        if (!sent) connection->shut_down();
    }
}

}  // namespace vth::client
