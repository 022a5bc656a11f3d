#include "options.hpp"

#include <charconv>
#include <limits>

namespace vth::peer {

const char* const usage_text =
    "usage: traffic-gui-peer (--helper PATH | --no-start) [options]\n"
    "       traffic-gui-peer --self-test [--report DIR] [--helper PATH]   (Windows)\n"
    "  --helper PATH     start the helper (natively, a .exe runs under Wine;\n"
    "                    its path and the data dir must then hold no blanks or\n"
    "                    any of \"&|<>^%())\n"
    "  --no-start        only wait for a helper someone else starts\n"
    "  --data-dir DIR    instead of LOCALAPPDATA; the file goes to DIR/Vestrilon\n"
    "  --script FILE     commands to send (default: lines from standard input)\n"
    "  --traffic HZ      stream updateContent HZ times a second\n"
    "  --samples N       graph samples per update (default 60)\n"
    "  --x X --y Y       overlay position in the file (default 40 40)\n"
    "  --gui-pid PID     gui_pid in the file (default: this process)\n"
    "  --linger MS       keep listening after the script (default 0)\n"
    "script lines: a JSON command (sent as it is), 'sleep MS',\n"
    "  'expect TYPE [TIMEOUT_MS]' or 'expect action:NAME [TIMEOUT_MS]'; # comments\n";

namespace {

// The whole text as a number from low to high, into out.
template <typename T>
Result<void> number(std::string_view option, std::string_view text, T low, T high, T& out) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return fail(std::string(option) + ": not a number in range: " + std::string(text));
    }
    out = value;
    return {};
}

constexpr auto int32_max = std::numeric_limits<std::int32_t>::max();
constexpr auto int32_min = std::numeric_limits<std::int32_t>::min();

}  // namespace

Result<Options> parse_options(std::span<const std::string_view> args) {
    Options options;
    bool no_start = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view option = args[i];
        if (option == "--no-start") {
            no_start = true;
            continue;
        }
        if (i + 1 >= args.size())
            return fail("missing value or unknown option: " + std::string(option));
        const std::string_view value = args[++i];
        Result<void> parsed;
        if (option == "--helper") {
            options.helper = std::string(value);
        } else if (option == "--data-dir") {
            options.data_dir = std::string(value);
        } else if (option == "--script") {
            options.script = std::string(value);
        } else if (option == "--traffic") {
            parsed = number(option, value, 0.001, 1000.0, options.traffic_hz);
        } else if (option == "--samples") {
            parsed = number(option, value, 1, 100000, options.samples);
        } else if (option == "--x") {
            parsed = number(option, value, int32_min, int32_max, options.x);
        } else if (option == "--y") {
            parsed = number(option, value, int32_min, int32_max, options.y);
        } else if (option == "--gui-pid") {
            std::uint32_t pid = 0;
            parsed = number(option, value, std::uint32_t{0}, ~std::uint32_t{0}, pid);
            options.gui_pid = pid;
        } else if (option == "--linger") {
            std::int64_t ms = 0;
            parsed = number(option, value, std::int64_t{0}, std::int64_t{86'400'000}, ms);
            options.linger = std::chrono::milliseconds(ms);
        } else {
            return fail("unknown option: " + std::string(option));
        }
        if (!parsed) return std::unexpected(parsed.error());
    }
    if (no_start == options.helper.has_value())
        return fail("give either --helper PATH or --no-start");
    return options;
}

}  // namespace vth::peer
