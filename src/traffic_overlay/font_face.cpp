#include "traffic_overlay/font_face.hpp"

namespace vth {

std::optional<std::string_view> choose_overlay_face(const FaceInstalled& installed) {
    for (std::string_view face : overlay_font_faces) {
        if (installed(face)) return face;
    }
    return std::nullopt;
}

std::optional<std::string_view> overlay_face_once(const FaceInstalled& installed) {
    // The views point into overlay_font_faces, which lives as long.
    static const std::optional<std::string_view> chosen = choose_overlay_face(installed);
    return chosen;
}

}  // namespace vth
