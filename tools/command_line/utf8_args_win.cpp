#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "os/win/common/owned.hpp"
#include "os/win/common/wide.hpp"
#include "utf8_args.hpp"

namespace vth::tool {
namespace {

void free_args(LPWSTR* args) noexcept {
    LocalFree(args);
}
using WideArgs = win::Owned<LPWSTR*, free_args>;

}  // namespace

std::vector<std::string> utf8_args(int argc, char** argv) {
    int count = 0;
    WideArgs wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide) {
        return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc)
                        : std::vector<std::string>{};
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(win::to_utf8(wide.get()[i]));
    return args;
}

}  // namespace vth::tool
