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

void append_to_data_file(std::string_view name, std::string_view bytes) noexcept {
    try {
        auto dir = data_directory();
        if (!dir) return;
        os::create_directories(*dir);
        os::append_to_file(os::join_path(*dir, name), bytes);
    } catch (...) {
        // Out of memory while building the path: the bytes are lost, like any
        // other failed append.
    }
}

}  // namespace vth
