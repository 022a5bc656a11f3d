#include <filesystem>

#include "remove_tree.hpp"

namespace vth::peer {

Result<void> remove_tree(const std::string& dir) {
    // remove_all removes a symbolic link itself and never descends into one.
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(dir), error);
    if (error) return fail("cannot remove " + dir + ": " + error.message());
    return {};
}

}  // namespace vth::peer
