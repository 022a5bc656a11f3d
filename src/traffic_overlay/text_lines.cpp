#include "traffic_overlay/text_lines.hpp"

namespace vth {

namespace {
bool continuation_byte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}
}  // namespace

std::string_view drawn_part(std::string_view text) {
    if (text.size() <= drawn_text_limit) return text;
    std::size_t cut = drawn_text_limit;
    // Invalid text may hold longer runs; each such byte is drawn as U+FFFD
    // on its own, so any place past three of them is a boundary too.
    for (int back = 0; back < 3 && continuation_byte(text[cut]); ++back) --cut;
    return text.substr(0, cut);
}

ColorRef title_colour(std::string_view title) {
    return title.find(connected_word) != std::string_view::npos ? connected_green : text_white;
}

TextLine bottom_line(const OverlayContent& content) {
    if (content.drop_hover) return {bottom_rect, drop_release_hint, connected_green};
    if (!content.feedback) return {bottom_rect, drop_invitation, hint_grey};
    return {bottom_rect, drawn_part(content.feedback->text),
            content.feedback->ok ? connected_green : failure_red};
}

std::array<TextLine, 3> overlay_text_lines(const OverlayContent& content) {
    return {TextLine{title_rect, drawn_part(content.title), title_colour(content.title)},
            TextLine{subtitle_rect, drawn_part(content.subtitle), text_white},
            bottom_line(content)};
}

}  // namespace vth
