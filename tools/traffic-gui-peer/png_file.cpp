#include "png_file.hpp"

#include <filesystem>
#include <fstream>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace vth::peer {
namespace {

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

}  // namespace

Result<void> write_whole_file(const std::string& path, const std::string& bytes) {
    try {
        const std::u8string utf8(path.begin(), path.end());
        std::ofstream file(std::filesystem::path(utf8), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) return fail("cannot write " + path);
    } catch (const std::exception& e) {
        return fail("cannot write " + path + ": " + e.what());
    }
    return {};
}

Result<void> write_png(const std::string& path, const Capture& capture) {
    const auto pixels =
        static_cast<std::size_t>(capture.width) * static_cast<std::size_t>(capture.height);
    if (capture.width <= 0 || capture.height <= 0 || capture.bgra.size() < pixels * 4) {
        return fail("no picture to write");
    }
    std::string rgba(pixels * 4, '\0');
    for (std::size_t i = 0; i < pixels; ++i) {
        rgba[i * 4 + 0] = static_cast<char>(capture.bgra[i * 4 + 2]);
        rgba[i * 4 + 1] = static_cast<char>(capture.bgra[i * 4 + 1]);
        rgba[i * 4 + 2] = static_cast<char>(capture.bgra[i * 4 + 0]);
        rgba[i * 4 + 3] = static_cast<char>(0xFF);  // the screen has no alpha of its own
    }
    std::string png;
    if (stbi_write_png_to_func(append_bytes, &png, capture.width, capture.height, 4, rgba.data(),
                               capture.width * 4) == 0) {
        return fail("PNG encoding failed");
    }
    return write_whole_file(path, png);
}

}  // namespace vth::peer
