#include "traffic_overlay/text_lines.hpp"

namespace vth {

ColorRef title_colour(std::string_view title) {
    return title.find(connected_word) != std::string_view::npos ? connected_green : text_white;
}

TextLine bottom_line(const OverlayContent& content) {
    if (content.drop_hover) return {bottom_rect, drop_release_hint, connected_green};
    if (!content.feedback) return {bottom_rect, drop_invitation, hint_grey};
    return {bottom_rect, content.feedback->text,
            content.feedback->ok ? connected_green : failure_red};
}

std::array<TextLine, 3> overlay_text_lines(const OverlayContent& content) {
    return {TextLine{title_rect, content.title, title_colour(content.title)},
            TextLine{subtitle_rect, content.subtitle, text_white}, bottom_line(content)};
}

}  // namespace vth
