#include "traffic_overlay/font_face.hpp"

namespace vth {

std::optional<std::string_view> choose_overlay_face(
    const std::function<bool(std::string_view face)>& installed) {
    for (std::string_view face : overlay_font_faces) {
        if (installed(face)) return face;
    }
    return std::nullopt;
}

}  // namespace vth
