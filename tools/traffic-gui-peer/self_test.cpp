#include "self_test.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/control_escape.hpp"
#include "common/os.hpp"
#include "config_file.hpp"
#include "helper/socket_stream.hpp"
#include "helper_process.hpp"
#include "helper_reports.hpp"
#include "outbox.hpp"
#include "png_file.hpp"
#include "remove_tree.hpp"
#include "self_test_checks.hpp"
#include "self_test_desktop.hpp"
#include "self_test_session.hpp"

namespace vth::peer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr auto connect_timeout = 30s;
constexpr auto helper_exit_timeout = 10s;

constexpr const char* usage =
    "usage: traffic-gui-peer --self-test [--report DIR] [--helper PATH]\n";

struct SelfTestOptions {
    std::optional<std::string> report_dir;
    std::optional<std::string> helper;
};

Result<SelfTestOptions> parse_self_test_options(std::span<const std::string_view> args) {
    SelfTestOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--self-test") continue;
        if ((args[i] == "--report" || args[i] == "--helper") && i + 1 < args.size()) {
            auto& target = args[i] == "--report" ? options.report_dir : options.helper;
            target = std::string(args[++i]);
            continue;
        }
        return fail("unknown option or missing value: " + std::string(args[i]));
    }
    return options;
}

std::filesystem::path utf8_path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string path_text(const std::filesystem::path& path) {
    const std::u8string u = path.u8string();
    return std::string(u.begin(), u.end());
}

// Where the helper's data goes: a folder of the report, or a new temporary one.
Result<std::filesystem::path> make_data_dir(const SelfTestOptions& options,
                                            const std::string& token) {
    std::error_code error;
    // A report folder used before holds the inbox files of the last run, which
    // would spoil the checks of their lines.
    if (options.report_dir) {
        auto cleared = remove_tree(os::join_path(*options.report_dir, "localappdata"));
        if (!cleared) return std::unexpected(cleared.error());
    }
    std::filesystem::path dir = options.report_dir ? utf8_path(*options.report_dir) / "localappdata"
                                                   : std::filesystem::temp_directory_path(error) /
                                                         ("vth-self-test-" + token.substr(0, 12));
    if (error) return fail("no temporary folder: " + error.message());
    std::filesystem::create_directories(dir, error);
    if (error) return fail("cannot create " + path_text(dir) + ": " + error.message());
    return std::filesystem::absolute(dir, error);
}

constexpr std::size_t report_log_lines = 20;

std::vector<std::string> helper_log(const std::string& data_dir) {
    return log_messages(
        os::read_file(os::join_path(os::join_path(data_dir, "Vestrilon"), "traffic-helper.log"))
            .value_or(""));
}

struct Outcome {
    int code = self_test_failed;
    std::string line;
};

Outcome outcome_of(std::span<const CheckLine> lines) {
    std::size_t failed = 0;
    for (const CheckLine& line : lines) failed += line.passed ? 0 : 1;
    if (failed == 0) {
        return {self_test_passed, "self-test passed: " + std::to_string(lines.size()) + " checks"};
    }
    return {self_test_failed, "self-test FAILED: " + std::to_string(failed) + " of " +
                                  std::to_string(lines.size()) + " checks"};
}

// The report, whatever stage the run reached: a helper that never started
// or connected is when its log lines are wanted most.
void write_report(const SelfTestOptions& options, Desktop& desktop, const std::string& data_dir,
                  std::span<const CheckLine> lines, const Outcome& outcome,
                  const std::optional<Capture>& screenshot, const std::string& integrity,
                  const std::string& helper_path) {
    if (!options.report_dir) return;
    const std::string& dir = *options.report_dir;
    const auto messages = helper_log(data_dir);
    const ReportFacts facts{.build_id = build_id_of(messages).value_or("unknown"),
                            .windows_version = desktop.windows_version(),
                            .displays = desktop.displays(),
                            .integrity = integrity,
                            .helper_path = helper_path,
                            .outcome = outcome.line,
                            .helper_log = last_lines(messages, report_log_lines)};
    auto written = write_whole_file(os::join_path(dir, "report.txt"), report_text(lines, facts));
    if (!written) say("report: " + written.error().text);
    if (screenshot) {
        auto png = write_png(os::join_path(dir, "overlay.png"), *screenshot);
        if (!png) say("report: " + png.error().text);
    }
}

struct Connection {
    std::shared_ptr<SocketStream> reading;
    std::unique_ptr<Outbox> outbox;
};

Result<Connection> accept_connection(SocketListener& listener, HelperProcess& helper) {
    const auto deadline = Clock::now() + connect_timeout;
    for (;;) {
        auto accepted = listener.accept(200ms);
        if (accepted) {
            auto writing = (*accepted)->duplicate();
            if (!writing) return std::unexpected(writing.error());
            (void)(*writing)->set_no_delay();
            (void)(*writing)->set_write_timeout(5s);
            return Connection{std::shared_ptr<SocketStream>(std::move(*accepted)),
                              std::make_unique<Outbox>(std::move(*writing))};
        }
        if (!is_timeout(accepted.error())) return std::unexpected(accepted.error());
        if (auto code = helper.wait(0ms)) {
            return fail("the helper ended with exit code " + std::to_string(*code) +
                        " before it connected");
        }
        if (Clock::now() >= deadline) return fail("the helper did not connect within 30 s");
    }
}

// Reports the line that stopped the run before any check, and the report.
int setup_failed(const SelfTestOptions& options, Desktop& desktop, const std::string& data_dir,
                 const std::string& helper_path, const std::string& why) {
    const std::vector<CheckLine> lines{{"setup", false, why}};
    say(check_line_text(lines.front()));
    // Without --report the data folder goes, and these lines with it.
    const auto messages = helper_log(data_dir);
    for (const std::string& line : last_lines(messages, report_log_lines)) {
        say("  helper log: " + escape_controls(line));
    }
    const Outcome outcome = outcome_of(lines);
    say(outcome.line);
    write_report(options, desktop, data_dir, lines, outcome, std::nullopt, "unknown", helper_path);
    return outcome.code;
}

int run_session(Desktop& desktop, const SelfTestOptions& options, const std::string& helper_path,
                const std::string& data_dir, const std::string& token) {
    const auto setup_fails = [&](const std::string& why) {
        return setup_failed(options, desktop, data_dir, helper_path, why);
    };
    auto listener = listen_loopback();
    if (!listener) return setup_fails("cannot listen: " + listener.error().text);
    const HelperConfig config{.host = "127.0.0.1",
                              .port = (*listener)->port(),
                              .token = token,
                              .x = far_request.x,
                              .y = far_request.y,
                              .gui_pid = os::process_id()};
    if (auto written = write_config(data_dir, config); !written) {
        return setup_fails(written.error().text);
    }
    auto helper = start_helper(helper_path, data_dir);
    if (!helper) return setup_fails(helper.error().text);
    auto connection = accept_connection(**listener, **helper);
    if (!connection) {
        (*helper)->kill();
        return setup_fails(connection.error().text);
    }
    auto reports = std::make_shared<HelperReports>();
    std::thread reader([reports, stream = connection->reading] {
        try {
            receive_reports(*stream, *reports);
        } catch (...) {
            // Nothing may leave the thread; the session sees the reports end.
        }
        reports->close();
    });

    // Nothing may be thrown past the reader thread, which must be joined.
    std::optional<Session> session;
    bool ran = false;
    std::string stopped = "the run stopped early";
    try {
        session.emplace(desktop, *reports, *connection->outbox, **helper, data_dir, token);
        ran = session->run();
    } catch (const std::exception& e) {
        stopped = std::string("the self-test stopped: ") + e.what();
    } catch (...) {
        stopped = "the self-test stopped on an unknown error";
    }
    desktop.restore_cursor();
    if (!ran) (void)connection->outbox->send_line(R"({"type":"shutdown"})");
    connection->outbox->finish();
    if (auto code = (*helper)->wait(ran ? 0ms : helper_exit_timeout); !code) (*helper)->kill();
    if (reports->wait_closed(Clock::now() + 5s)) {
        reader.join();
    } else {
        reader.detach();  // holds its own references to the stream and the reports
    }

    const std::vector<CheckLine> no_lines;
    const auto& lines = session ? session->lines : no_lines;
    Outcome outcome = outcome_of(lines);
    if (!ran) {
        const auto& reason = session ? session->cannot_run : std::nullopt;
        outcome = {self_test_cannot_run, "CANNOT RUN: " + reason.value_or(stopped)};
    }
    say(outcome.line);
    write_report(options, desktop, data_dir, lines, outcome,
                 session ? session->screenshot : std::nullopt,
                 session ? session->integrity : std::string("unknown"), helper_path);
    return outcome.code;
}

int run_self_test_or_throw(std::span<const std::string_view> args) {
    auto options = parse_self_test_options(args);
    if (!options) {
        std::fprintf(stderr, "traffic-gui-peer: %s\n%s", options.error().text.c_str(), usage);
        return self_test_usage;
    }
    auto desktop = open_desktop();
    if (!desktop) {
        say("CANNOT RUN: " + desktop.error().text);
        return self_test_cannot_run;
    }
    const std::string helper_path =
        options->helper.value_or((*desktop)->program_dir() + "vestrilon-traffic-helper.exe");
    std::error_code error;
    if (!std::filesystem::is_regular_file(utf8_path(helper_path), error)) {
        say("CANNOT RUN: no helper at " + helper_path + "; give --helper PATH");
        return self_test_usage;
    }
    auto token = random_token();
    if (!token) {
        say("CANNOT RUN: " + token.error().text);
        return self_test_cannot_run;
    }
    auto data_dir = make_data_dir(*options, *token);
    if (!data_dir) {
        say("CANNOT RUN: " + data_dir.error().text);
        return self_test_cannot_run;
    }
    if (options->report_dir) os::create_directories(*options->report_dir);
    const int code = run_session(**desktop, *options, helper_path, path_text(*data_dir), *token);
    if (!options->report_dir) (void)remove_tree(path_text(*data_dir));
    return code;
}

}  // namespace

bool asks_self_test(std::span<const std::string_view> args) {
    return std::find(args.begin(), args.end(), "--self-test") != args.end();
}

int run_self_test(std::span<const std::string_view> args) {
    // Whatever goes wrong, the user gets a line and the desktop (cursor,
    // buttons) is put back by the desktop's owner on the way out.
    try {
        return run_self_test_or_throw(args);
    } catch (const std::exception& e) {
        say(std::string("FAIL setup the self-test stopped: ") + e.what());
    } catch (...) {
        say("FAIL setup the self-test stopped on an unknown error");
    }
    return self_test_failed;
}

}  // namespace vth::peer
