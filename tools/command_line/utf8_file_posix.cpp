#include "utf8_file.hpp"

namespace vth::tool {

std::FILE* open_utf8(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

}  // namespace vth::tool
