#pragma once
// Which text goes where and in which colour: the title, the subtitle and
// the bottom line, in drawing order.
#include <array>
#include <cstddef>
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

// The most bytes of one line that are ever handed to the platform's text
// drawing, which converts and measures all it gets on every redraw. A line
// is 182 pixels wide (13..195 of the 208) and drawn at 11 pixels, the only
// size the overlay uses (the stock fallback font is 8 points: 11 pixels at
// 96 dpi, more above). Advances are whole pixels, so every character that
// advances at all takes at least one ('i' and '.' take 2 or 3) and 182 of
// them overflow the line. Each takes at most 4 bytes; with room for four
// zero-width companions of 4 bytes each (combining marks, joiners,
// variation selectors) that is 182 * 5 * 4 = 3640 bytes, rounded up here.
// The end ellipsis keeps the longest start of an overflowing text that fits
// beside "...", so nothing past the cut could have been drawn.
inline constexpr std::size_t drawn_text_limit = 4096;

// text cut to at most drawn_text_limit bytes, never inside a UTF-8 sequence:
// the cut moves back over up to three continuation bytes. A view of text.
std::string_view drawn_part(std::string_view text);

// Text views borrow from the content they were made from.
struct TextLine {
    TextRect rect;
    std::string_view text;
    ColorRef colour = 0;
};

// Green when the title's bytes contain the connected word anywhere.
ColorRef title_colour(std::string_view title);

TextLine bottom_line(const OverlayContent& content);

// Title, subtitle, bottom line, each text cut by drawn_part. The title's
// colour still looks at the whole title.
std::array<TextLine, 3> overlay_text_lines(const OverlayContent& content);

}  // namespace vth
