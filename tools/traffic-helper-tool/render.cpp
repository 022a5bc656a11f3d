#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "subcommands.hpp"
#include "traffic_overlay/canvas.hpp"
#include "traffic_overlay/offscreen_render.hpp"
#include "update_file.hpp"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace vth::tool {
namespace {

struct RenderArgs {
    std::string_view update;
    std::optional<std::string_view> png;
    std::optional<std::string_view> raw;
};

std::optional<RenderArgs> parse(Args args) {
    RenderArgs parsed;
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--raw") {
            if (i + 1 == args.size() || parsed.raw) return std::nullopt;
            parsed.raw = args[++i];
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2) return std::nullopt;
    parsed.update = positional[0];
    if (positional.size() == 2) parsed.png = positional[1];
    return parsed;
}

int usage() {
    std::fputs(
        "usage: traffic-helper-tool render UPDATE [OUT.png] [--raw OUT.bgra]\n"
        "  draws the overlay picture for the updateContent line in UPDATE: OUT.png with\n"
        "  straight alpha, OUT.bgra with the exact presented bytes (premultiplied BGRA,\n"
        "  208 x 132, rows top-down). The Windows build draws the text with GDI; the\n"
        "  native build has no GDI and leaves the text lines out.\n",
        stderr);
    return 2;
}

// Undoes the premultiplication and swaps blue and red for the PNG.
std::string straight_rgba(const Canvas& canvas) {
    std::string rgba(CANVAS_BYTES, '\0');
    for (std::size_t i = 0; i < CANVAS_BYTES; i += 4) {
        const unsigned a = canvas[i + 3];
        for (std::size_t k = 0; k < 3; ++k) {
            const unsigned c = a == 0 ? 0u : std::min(255u, (canvas[i + 2 - k] * 255u + a / 2) / a);
            rgba[i + k] = static_cast<char>(c);
        }
        rgba[i + 3] = static_cast<char>(a);
    }
    return rgba;
}

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

bool write_or_say(std::string_view path, std::string_view bytes) {
    if (write_file(path, bytes)) return true;
    std::fprintf(stderr, "cannot write %.*s\n", static_cast<int>(path.size()), path.data());
    return false;
}

}  // namespace

int render(Args args) {
    const auto parsed = parse(args);
    if (!parsed) return usage();
    auto content = read_update(parsed->update);
    if (!content) return content.error();

    Canvas canvas{};
    if (!render_offscreen(*content, canvas)) {
        std::fputs("render: no drawing surface\n", stderr);
        return 2;
    }
    if (!offscreen_draws_text()) {
        std::fputs("render: text lines left out (this build has no GDI)\n", stderr);
    }
    if (parsed->raw) {
        const std::string_view bytes(reinterpret_cast<const char*>(canvas.data()), canvas.size());
        if (!write_or_say(*parsed->raw, bytes)) return 2;
    }
    if (parsed->png) {
        const std::string rgba = straight_rgba(canvas);
        std::string png;
        if (!stbi_write_png_to_func(append_bytes, &png, OVERLAY_WIDTH, OVERLAY_HEIGHT, 4,
                                    rgba.data(), static_cast<int>(CANVAS_STRIDE)) ||
            !write_or_say(*parsed->png, png)) {
            return 2;
        }
    }
    return 0;
}

}  // namespace vth::tool
