#include <cstdio>

#include "os/win/common/wide.hpp"
#include "utf8_file.hpp"

namespace vth::tool {

std::FILE* open_utf8(const std::string& path, const char* mode) {
    const std::string mode_text(mode);
    return _wfopen(win::to_wide(path).c_str(), win::to_wide(mode_text).c_str());
}

}  // namespace vth::tool
