// Subcommands whose modules have not landed yet. Each owner moves its entry
// into a file of its own.
#include <cstdio>

#include "subcommands.hpp"

namespace vth::tool {
namespace {
int not_available(const char* name) {
    std::fprintf(stderr, "%s: not available in this build\n", name);
    return 2;
}
}  // namespace

int decode_config(Args) { return not_available("decode-config"); }
int decode_commands(Args) { return not_available("decode-commands"); }

}  // namespace vth::tool
