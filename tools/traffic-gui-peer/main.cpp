// traffic-gui-peer: the GUI's end of the helper connection, for integrators
// and tests. It writes traffic-helper.json, starts the helper, checks its
// hello, sends commands and prints every message "<ms> <line>" on stdout,
// then a count per message type and the helper's exit code. A connection
// whose first line is not a hello with our token is closed, and the wait for
// the helper goes on. Exit code 0 on success, 1 when something failed, 2 for
// usage errors and when only such connections came. Diagnostics go to stderr.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "client/hello_wait.hpp"
#include "client/loopback.hpp"
#include "common/os.hpp"
#include "config_file.hpp"
#include "connection_source.hpp"
#include "helper/line_reader.hpp"
#include "helper_process.hpp"
#include "inbox.hpp"
#include "options.hpp"
#include "outbox.hpp"
#include "script.hpp"
#include "self_test.hpp"
#include "stdin_source.hpp"
#include "traffic.hpp"
#include "utf8_args.hpp"

namespace vth::peer {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto accept_timeout = 30s;
constexpr auto hello_timeout = 10s;  // from a connection's start to its first line
constexpr auto helper_exit_timeout = 10s;
constexpr auto reader_end_timeout = 10s;
constexpr auto write_timeout = 5s;
constexpr auto stdin_poll = 50ms;

constexpr int exit_failure = 1;
constexpr int exit_refused = 2;

void report(const std::string& text) {
    std::fprintf(stderr, "traffic-gui-peer: %s\n", text.c_str());
}

// Shared with the reader and standard-input threads, which may still be
// blocked when main returns.
struct Link {
    Link(client::Greeted greeted, Clock::time_point start)
        : connection(std::move(greeted.connection)),
          reading(connection, greeted.rest.take_bytes()),
          inbox(start, stdout),
          outbox(connection, write_timeout) {}

    std::shared_ptr<client::Connection> connection;
    ConnectionSource reading;
    Inbox inbox;
    Outbox outbox;
};

// Everything that can fail before the helper runs.
struct Prepared {
    Options options;
    std::string data_dir;
    std::vector<ScriptStep> steps;
    HelperConfig config;
    std::unique_ptr<client::Listener> listener;
};

Result<std::string> absolute_data_dir(const Options& options) {
    std::optional<std::string> dir = options.data_dir;
    if (!dir) dir = os::env("LOCALAPPDATA");
    if (!dir || dir->empty()) return fail("LOCALAPPDATA is not set; give --data-dir DIR");
    std::error_code error;
    auto absolute = std::filesystem::absolute(std::filesystem::path(*dir), error);
    if (error) return fail("data dir " + *dir + ": " + error.message());
    return absolute.lexically_normal().string();
}

// The usage error, or the options, script and configuration ready to go.
Result<Prepared> prepare(std::span<const std::string_view> args, int& code) {
    code = exit_refused;
    Prepared p;
    auto options = parse_options(args);
    if (!options) return fail(options.error().text + "\n" + usage_text);
    p.options = std::move(*options);
    auto dir = absolute_data_dir(p.options);
    if (!dir) return std::unexpected(dir.error());
    p.data_dir = std::move(*dir);
    if (p.options.script) {
        auto text = os::read_file(*p.options.script);
        if (!text) return fail("script " + *p.options.script + ": " + text.error().text);
        auto steps = parse_script(*text);
        if (!steps) return std::unexpected(steps.error());
        p.steps = std::move(*steps);
    }

    code = exit_failure;
    auto token = random_token();
    if (!token) return std::unexpected(token.error());
    auto listener = client::listen_exclusive();
    if (!listener) return fail("cannot listen: " + listener.error().text);
    p.listener = std::move(*listener);
    p.config = HelperConfig{.host = "127.0.0.1",
                            .port = p.listener->port(),
                            .token = std::move(*token),
                            .x = p.options.x,
                            .y = p.options.y,
                            .gui_pid = p.options.gui_pid.value_or(os::process_id())};
    auto written = write_config(p.data_dir, p.config);
    if (!written) return std::unexpected(written.error());
    report("wrote " + *written + ", listening on 127.0.0.1:" + std::to_string(p.config.port));
    return p;
}

std::string refusal_text(const client::Refused& refused, const std::string& token) {
    switch (refused.why) {
        case client::Refusal::ended:
            return "the connection ended before a hello";
        case client::Refusal::silent:
            return "no message within 10 s of connecting; closing";
        case client::Refusal::too_long:
            return "the first line is longer than any hello; closing";
        case client::Refusal::crowded:
            return "too many connections without a hello; closing the oldest";
        case client::Refusal::first_line:
            break;
    }
    const Message first = parse_message(refused.first_line);
    if (first.type != "hello") {
        return "the first message is " + first.type + ", not a hello; closing";
    }
    if (first.token != token) return "the hello has the wrong token; closing";
    return "the hello is not one the helper sends; closing";
}

// The connection that said hello with our token, or the exit code after a
// report. Every other connection is closed, and the wait goes on.
std::expected<client::Greeted, int> accept_helper(client::Listener& listener, HelperProcess* helper,
                                                  const std::string& token) {
    std::optional<int> helper_code;
    const client::HelloWait wait{
        .token = token,
        .deadline = Clock::now() + accept_timeout,
        .silence_limit = hello_timeout,
        .give_up =
            [&] {
                if (helper != nullptr) helper_code = helper->wait(0ms);
                return helper_code.has_value();
            },
        .refused = [&](const client::Refused& refused) { report(refusal_text(refused, token)); }};
    auto greeted = client::await_hello(listener, wait);
    if (greeted) return std::move(*greeted);
    const client::NoHello& missing = greeted.error();
    const bool connected = missing.refused > 0;
    switch (missing.end) {
        case client::NoHello::End::accept_failed:
            report("accept failed: " + missing.error.text);
            return std::unexpected(exit_failure);
        case client::NoHello::End::given_up:
            report("the helper ended with exit code " + std::to_string(helper_code.value_or(-1)) +
                   (connected ? " without a hello with our token" : " before it connected"));
            break;
        case client::NoHello::End::deadline:
            report(connected ? "no hello with our token within 30 s" : "no connection within 30 s");
            break;
    }
    return std::unexpected(connected ? exit_refused : exit_failure);
}

// Lines from standard input until its end; the flag says it has ended.
void forward_stdin(const std::shared_ptr<Link>& link,
                   const std::shared_ptr<std::atomic<bool>>& ended) {
    std::thread([link, ended] {
        StdinSource source;
        LineReader lines(source);
        for (;;) {
            auto line = lines.next();
            if (!line) report("standard input: " + line.error().text);
            if (!line || !*line) break;
            if (auto sent = link->outbox.send_line(**line); !sent) {
                if (!link->inbox.closed()) report("send failed: " + sent.error().text);
                break;
            }
        }
        ended->store(true);
    }).detach();  // may stay blocked on a terminal after the helper is gone
}

// Script (and linger) or standard input; the exit code.
int send_commands(const std::shared_ptr<Link>& link, const Prepared& p) {
    if (p.options.script) {
        auto ran = run_script(p.steps, link->outbox, link->inbox);
        if (!ran) {
            report(ran.error().text);
            return exit_failure;
        }
        link->inbox.wait_closed(Clock::now() + p.options.linger);
        return 0;
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    forward_stdin(link, ended);
    while (!ended->load() && !link->inbox.wait_closed(Clock::now() + stdin_poll)) {
    }
    return 0;
}

// The commands with the traffic stream beside them; the exit code.
int converse(const std::shared_ptr<Link>& link, const Prepared& p) {
    if (p.options.traffic_hz <= 0) return send_commands(link, p);
    TrafficStream traffic(link->outbox, p.options.traffic_hz, p.options.samples);
    const int code = send_commands(link, p);
    traffic.stop();
    // After the helper has gone, a failed send is no news.
    if (traffic.failure() && !link->inbox.closed()) {
        report("traffic stopped: " + traffic.failure()->text);
    }
    return code;
}

// The helper's exit code, once it has ended by itself or been killed;
// nothing when we did not start it.
std::optional<int> end_helper(HelperProcess* helper) {
    if (helper == nullptr) return std::nullopt;
    if (auto code = helper->wait(helper_exit_timeout)) return code;
    report("the helper was still running after 10 s; killing it");
    return helper->kill();
}

void print_summary(const Inbox* inbox, std::optional<int> helper_code) {
    if (inbox != nullptr) {
        for (const auto& [type, count] : inbox->counts()) {
            std::printf("summary %s %zu\n", type.c_str(), count);
        }
    }
    if (helper_code) {
        std::printf("helper exit code: %d\n", *helper_code);
    } else {
        std::printf("helper exit code: none (not started here)\n");
    }
    std::fflush(stdout);
}

int run(std::span<const std::string_view> args, Clock::time_point start) {
    int code = 0;
    auto prepared = prepare(args, code);
    if (!prepared) {
        report(prepared.error().text);
        return code;
    }
    const Prepared& p = *prepared;

    std::unique_ptr<HelperProcess> helper;
    if (p.options.helper) {
        auto started = start_helper(*p.options.helper, p.data_dir);
        if (!started) {
            report(started.error().text);
            return exit_failure;
        }
        helper = std::move(*started);
    }
    auto greeted = accept_helper(*p.listener, helper.get(), p.config.token);
    if (!greeted) {
        print_summary(nullptr, end_helper(helper.get()));
        return greeted.error();
    }
    const std::string hello_line = greeted->hello_line;
    auto link = std::make_shared<Link>(std::move(*greeted), start);
    link->inbox.add(hello_line);
    std::thread reader([link] { receive(link->reading, link->inbox); });

    code = converse(link, p);

    // From here on nothing is sent; the helper reads the end of the stream,
    // and its end closes the connection, which ends the reader.
    link->outbox.finish();
    const auto helper_code = end_helper(helper.get());
    if (link->inbox.wait_closed(Clock::now() + reader_end_timeout)) {
        reader.join();
    } else {
        report("the other side keeps the connection open; not waiting for it");
        reader.detach();
    }
    print_summary(&link->inbox, helper_code);
    return code;
}

}  // namespace
}  // namespace vth::peer

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::vector<std::string> utf8 = vth::tool::utf8_args(argc, argv);
    const std::vector<std::string_view> args(utf8.begin(), utf8.end());
    if (vth::peer::asks_self_test(args)) return vth::peer::run_self_test(args);
    return vth::peer::run(args, start);
}
