#include "config_file.hpp"

#include <array>
#include <filesystem>
#include <fstream>

#include "common/os.hpp"
#include "random_bytes.hpp"
#include "records/decoded_record.hpp"

namespace vth::peer {

std::string hex_text(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

Result<std::string> random_token() {
    std::array<std::uint8_t, 16> bytes{};
    if (auto filled = fill_random(bytes); !filled) return std::unexpected(filled.error());
    return hex_text(bytes);
}

Result<std::string> write_config(const std::string& data_dir, const HelperConfig& config) {
    const std::string dir = os::join_path(data_dir, "Vestrilon");
    os::create_directories(dir);
    std::string path = os::join_path(dir, "traffic-helper.json");
    // The same record the helper's own tool prints for a decoded file.
    const std::string text = config_record(config);
    try {
        // Paths are UTF-8 on both systems; char8_t makes the Windows build read them so.
        const std::u8string utf8(path.begin(), path.end());
        std::ofstream file(std::filesystem::path(utf8), std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) return fail("cannot write " + path);
    } catch (const std::exception& e) {
        return fail("cannot write " + path + ": " + e.what());
    }
    return path;
}

}  // namespace vth::peer
