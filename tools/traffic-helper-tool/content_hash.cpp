#include <cinttypes>
#include <cstdio>

#include "subcommands.hpp"
#include "traffic_overlay/content_hash.hpp"
#include "update_file.hpp"

namespace vth::tool {

int content_hash(Args args) {
    if (args.size() != 1) {
        std::fputs("usage: traffic-helper-tool content-hash UPDATE\n", stderr);
        return 2;
    }
    auto content = read_update(args[0]);
    if (!content) return content.error();
    std::printf("%016" PRIx64 "\n", vth::content_hash(*content));
    return 0;
}

}  // namespace vth::tool
