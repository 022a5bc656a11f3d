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

using FaceInstalled = std::function<bool(std::string_view face)>;

// The first face installed says is there; nothing when none is, and the text
// is then drawn with the system's default GUI font.
std::optional<std::string_view> choose_overlay_face(const FaceInstalled& installed);

// choose_overlay_face's answer at the first call in this process, kept for
// the process's life: later calls return it without asking installed.
// Asking the system costs a font enumeration per face, more than drawing
// the whole picture; a face installed while the helper runs is taken at its
// next start. When installed throws, nothing is kept and the exception goes
// to the caller. Any thread; a call made while the first runs waits for it.
std::optional<std::string_view> overlay_face_once(const FaceInstalled& installed);

}  // namespace vth
