#include "utf8_args.hpp"

namespace vth::tool {

std::vector<std::string> utf8_args(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

}  // namespace vth::tool
