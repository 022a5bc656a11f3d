#pragma once
// Which text goes where and in which colour: the title, the subtitle and
// the bottom line, in drawing order.
#include <array>
#include <string_view>

#include "traffic_overlay/canvas.hpp"
#include "traffic_overlay/overlay_content.hpp"

namespace vth {

inline constexpr TextRect title_rect{13, 8, 195, 28};
inline constexpr TextRect subtitle_rect{13, 28, 195, 48};
inline constexpr TextRect bottom_rect{13, 105, 195, 125};

inline constexpr ColorRef text_white = rgb(236, 242, 252);
inline constexpr ColorRef connected_green = rgb(46, 204, 128);
inline constexpr ColorRef hint_grey = rgb(186, 200, 220);
inline constexpr ColorRef failure_red = rgb(255, 142, 142);

inline constexpr std::string_view connected_word = "Подключено";
inline constexpr std::string_view drop_release_hint = "Отпустите — добавить в VPN";
inline constexpr std::string_view drop_invitation = "перетащи сюда url для обхода";

// Text views borrow from the content they were made from.
struct TextLine {
    TextRect rect;
    std::string_view text;
    ColorRef colour = 0;
};

// Green when the title's bytes contain the connected word anywhere.
ColorRef title_colour(std::string_view title);

TextLine bottom_line(const OverlayContent& content);

// Title, subtitle, bottom line.
std::array<TextLine, 3> overlay_text_lines(const OverlayContent& content);

}  // namespace vth
