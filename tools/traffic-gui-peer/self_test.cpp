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

#include "common/os.hpp"
#include "config_file.hpp"
#include "helper/socket_stream.hpp"
#include "helper_process.hpp"
#include "helper_reports.hpp"
#include "outbox.hpp"
#include "png_file.hpp"
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
        std::filesystem::remove_all(utf8_path(*options.report_dir) / "localappdata", error);
    }
    std::filesystem::path dir = options.report_dir ? utf8_path(*options.report_dir) / "localappdata"
                                                   : std::filesystem::temp_directory_path(error) /
                                                         ("vth-self-test-" + token.substr(0, 12));
    if (error) return fail("no temporary folder: " + error.message());
    std::filesystem::create_directories(dir, error);
    if (error) return fail("cannot create " + path_text(dir) + ": " + error.message());
    return std::filesystem::absolute(dir, error);
}

void write_report(const std::string& dir, const Session& session, const ReportFacts& facts) {
    auto written =
        write_whole_file(os::join_path(dir, "report.txt"), report_text(session.lines, facts));
    if (!written) say("report: " + written.error().text);
    if (session.screenshot) {
        auto png = write_png(os::join_path(dir, "overlay.png"), *session.screenshot);
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

int run_session(Desktop& desktop, const SelfTestOptions& options, const std::string& helper_path,
                const std::string& data_dir, const std::string& token) {
    auto listener = listen_loopback();
    if (!listener) {
        say("FAIL setup cannot listen: " + listener.error().text);
        return self_test_failed;
    }
    const HelperConfig config{.host = "127.0.0.1",
                              .port = (*listener)->port(),
                              .token = token,
                              .x = far_request.x,
                              .y = far_request.y,
                              .gui_pid = os::process_id()};
    if (auto written = write_config(data_dir, config); !written) {
        say("FAIL setup " + written.error().text);
        return self_test_failed;
    }
    auto helper = start_helper(helper_path, data_dir);
    if (!helper) {
        say("FAIL setup " + helper.error().text);
        return self_test_failed;
    }
    auto connection = accept_connection(**listener, **helper);
    if (!connection) {
        say("FAIL setup " + connection.error().text);
        return self_test_failed;
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

    Session session(desktop, *reports, *connection->outbox, **helper, data_dir, token);
    bool ran = false;
    try {
        ran = session.run();
    } catch (const std::exception& e) {
        say(std::string("FAIL setup the self-test stopped: ") + e.what());
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

    int code = self_test_passed;
    std::string outcome;
    if (!ran) {
        code = self_test_cannot_run;
        outcome = "CANNOT RUN: " + *session.cannot_run;
    } else {
        std::size_t failed = 0;
        for (const CheckLine& line : session.lines) failed += line.passed ? 0 : 1;
        code = failed == 0 ? self_test_passed : self_test_failed;
        outcome = failed == 0
                      ? "self-test passed: " + std::to_string(session.lines.size()) + " checks"
                      : "self-test FAILED: " + std::to_string(failed) + " of " +
                            std::to_string(session.lines.size()) + " checks";
    }
    say(outcome);
    if (options.report_dir) {
        const auto messages = log_messages(
            os::read_file(os::join_path(os::join_path(data_dir, "Vestrilon"), "traffic-helper.log"))
                .value_or(""));
        write_report(*options.report_dir, session,
                     ReportFacts{.build_id = build_id_of(messages).value_or("unknown"),
                                 .windows_version = desktop.windows_version(),
                                 .displays = desktop.displays(),
                                 .integrity = session.integrity,
                                 .helper_path = helper_path,
                                 .outcome = outcome});
    }
    return code;
}

}  // namespace

bool asks_self_test(std::span<const std::string_view> args) {
    return std::find(args.begin(), args.end(), "--self-test") != args.end();
}

int run_self_test(std::span<const std::string_view> args) {
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
    if (!options->report_dir) std::filesystem::remove_all(*data_dir, error);
    return code;
}

}  // namespace vth::peer
