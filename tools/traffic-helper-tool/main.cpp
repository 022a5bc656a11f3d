#include <cstdio>
#include <string_view>
#include <vector>

#include "subcommands.hpp"
#include "utf8_args.hpp"

namespace {

struct Subcommand {
    std::string_view name;
    std::string_view usage;
    int (*run)(vth::tool::Args);
};

constexpr Subcommand subcommands[] = {
    {"decode-config", "decode-config FILE", vth::tool::decode_config},
    {"decode-commands", "decode-commands [--stats] [FILE]", vth::tool::decode_commands},
    {"render", "render UPDATE [OUT.png] [--raw OUT.bgra]", vth::tool::render},
    {"clamp", "clamp X Y [LEFT,TOP,WIDTH,HEIGHT ...]", vth::tool::clamp},
    {"content-hash", "content-hash UPDATE", vth::tool::content_hash},
    {"url-candidate", "url-candidate [FILE]", vth::tool::url_candidate},
    {"log", "log FILE [--summary]", vth::tool::log_view},
    {"batch", "batch < REQUESTS    (one JSON array of arguments per line)", vth::tool::batch},
};

int usage() {
    std::fputs("usage: traffic-helper-tool SUBCOMMAND ...\n", stderr);
    for (const auto& s : subcommands) {
        std::fprintf(stderr, "  traffic-helper-tool %.*s\n", static_cast<int>(s.usage.size()),
                     s.usage.data());
    }
    return 2;
}

}  // namespace

int vth::tool::run_subcommand(Args request) {
    if (request.empty()) return usage();
    for (const auto& s : subcommands) {
        if (s.name == request.front()) return s.run(request.subspan(1));
    }
    return usage();
}

int main(int argc, char** argv) {
    const std::vector<std::string> utf8 = vth::tool::utf8_args(argc, argv);
    const std::vector<std::string_view> request(utf8.begin(), utf8.end());
    return vth::tool::run_subcommand(request);
}
