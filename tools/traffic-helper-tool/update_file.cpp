#include "update_file.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>

#include "common/os.hpp"
#include "protocol/command_decode.hpp"
#include "protocol/overlay_command.hpp"

namespace vth::tool {
namespace {

OverlayContent to_content(command::UpdateContent&& update) {
    OverlayContent content;
    content.title = std::move(update.title);
    content.subtitle = std::move(update.subtitle);
    if (update.feedback) {
        content.feedback = Feedback{std::move(update.feedback->first), update.feedback->second};
    }
    content.samples.reserve(update.samples.size());
    for (const WireSample& s : update.samples) content.samples.push_back({s.t, s.up, s.down});
    content.drop_hover = update.drop_hover;
    return content;
}

std::filesystem::path utf8_path(std::string_view path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

std::expected<OverlayContent, int> read_update(std::string_view path) {
    Result<std::string> file = os::read_file(std::string(path));
    if (!file) {
        std::fprintf(stderr, "cannot read %.*s: %s\n", static_cast<int>(path.size()), path.data(),
                     file.error().text.c_str());
        return std::unexpected(2);
    }
    std::string_view line = *file;
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    Result<OverlayCommand> decoded = decode_command(line);
    if (!decoded) {
        std::printf("ERR %s\n", decoded.error().text.c_str());
        return std::unexpected(1);
    }
    auto* update = std::get_if<command::UpdateContent>(&*decoded);
    if (!update) {
        std::printf("ERR not an updateContent command\n");
        return std::unexpected(1);
    }
    return to_content(std::move(*update));
}

bool write_file(std::string_view path, std::string_view bytes) {
    std::ofstream out(utf8_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace vth::tool
