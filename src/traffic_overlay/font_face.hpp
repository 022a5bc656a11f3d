#pragma once
// Which face the overlay's text is drawn in: the first of the Segoe UI faces
// that is installed, in order of preference. Windows 11 has them all;
// Windows 10 lacks the variable faces. Asking for a face that is not
// installed would not fail: the font mapper would quietly pick another.
#include <array>
#include <functional>
#include <optional>
#include <string_view>

namespace vth {

inline constexpr std::array<std::string_view, 5> overlay_font_faces = {
    "Segoe UI Variable Small", "Segoe UI Variable Text", "Segoe UI Semilight", "Segoe UI",
    "Segoe UI Light",
};

// The first face installed says is there; nothing when none is, and the text
// is then drawn with the system's default GUI font.
std::optional<std::string_view> choose_overlay_face(
    const std::function<bool(std::string_view face)>& installed);

}  // namespace vth
