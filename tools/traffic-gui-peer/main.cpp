// traffic-gui-peer: the GUI's end of the helper connection, for integrators
// and tests. It writes traffic-helper.json, starts the helper, checks its
// hello, sends commands and prints every message "<ms> <line>" on stdout,
// then a count per message type and the helper's exit code. Exit code 0 on
// success, 1 when something failed, 2 for usage errors and a helper that
// did not say hello with our token. Diagnostics go to stderr.
#include <atomic>
#include <chrono>
#include <cstdio>
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

#include "common/os.hpp"
#include "config_file.hpp"
#include "helper/line_reader.hpp"
#include "helper/socket_stream.hpp"
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
constexpr auto accept_slice = 200ms;  // how often a helper that died is noticed
constexpr auto hello_timeout = 10s;
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
    Link(std::unique_ptr<SocketStream> read_end, std::unique_ptr<SocketStream> write_end,
         Clock::time_point start)
        : reading(std::move(read_end)), inbox(start, stdout), outbox(std::move(write_end)) {}

    std::unique_ptr<SocketStream> reading;
    Inbox inbox;
    Outbox outbox;
};

// Everything that can fail before the helper runs.
struct Prepared {
    Options options;
    std::string data_dir;
    std::vector<ScriptStep> steps;
    HelperConfig config;
    std::unique_ptr<SocketListener> listener;
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
    auto listener = listen_loopback();
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

// The helper's connection; nothing after a report when it did not come.
std::unique_ptr<SocketStream> accept_helper(SocketListener& listener, HelperProcess* helper) {
    const auto deadline = Clock::now() + accept_timeout;
    for (;;) {
        auto accepted = listener.accept(accept_slice);
        if (accepted) return std::move(*accepted);
        if (!is_timeout(accepted.error())) {
            report("accept failed: " + accepted.error().text);
            return nullptr;
        }
        if (helper != nullptr) {
            if (auto code = helper->wait(0ms)) {
                report("the helper ended with exit code " + std::to_string(*code) +
                       " before it connected");
                return nullptr;
            }
        }
        if (Clock::now() >= deadline) {
            report("no connection within 30 s");
            return nullptr;
        }
    }
}

bool says_hello(Link& link, const std::string& token) {
    const auto first =
        link.inbox.wait_for(0, [](const Message&) { return true; }, Clock::now() + hello_timeout);
    if (!first) {
        report(link.inbox.closed() ? "the connection ended before a hello"
                                   : "no message within 10 s of connecting");
        return false;
    }
    const Message hello = link.inbox.at(*first);
    if (hello.type != "hello") {
        report("the first message is " + hello.type + ", not a hello; closing");
        return false;
    }
    if (hello.token != token) {
        report("the hello has the wrong token; closing");
        return false;
    }
    return true;
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
    auto stream = accept_helper(*p.listener, helper.get());
    auto writing = stream ? stream->duplicate() : fail("no connection");
    if (stream && !writing) report("cannot duplicate the connection: " + writing.error().text);
    if (!writing) {
        print_summary(nullptr, end_helper(helper.get()));
        return exit_failure;
    }
    if (auto set = stream->set_no_delay(); !set) report("TCP_NODELAY: " + set.error().text);
    if (auto set = (*writing)->set_write_timeout(write_timeout); !set) {
        report("write timeout: " + set.error().text);
    }
    auto link = std::make_shared<Link>(std::move(stream), std::move(*writing), start);
    std::thread reader([link] { receive(*link->reading, link->inbox); });

    code = says_hello(*link, p.config.token) ? converse(link, p) : exit_refused;

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
