#include <cstdio>
#include <string_view>
#include <vector>

#include "subcommands.hpp"

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

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::vector<std::string_view> args(argv + 2, argv + argc);
    for (const auto& s : subcommands) {
        if (s.name == argv[1]) return s.run(args);
    }
    return usage();
}
