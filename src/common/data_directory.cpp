#include "common/data_directory.hpp"

#include "common/os.hpp"

namespace vth {

std::optional<std::string> data_directory() {
    auto base = os::env("LOCALAPPDATA");
    if (!base) return std::nullopt;
    return os::join_path(*base, "Vestrilon");
}

std::optional<std::string> data_file(std::string_view name) {
    auto dir = data_directory();
    if (!dir) return std::nullopt;
    return os::join_path(*dir, name);
}

}  // namespace vth
