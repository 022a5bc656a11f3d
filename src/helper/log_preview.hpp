#pragma once
// The preview of a dropped text in the helper's log line
// "textDropped len=<bytes> preview=<quoted>".
#include <cstddef>
#include <string>
#include <string_view>

namespace vth {

// The first max_scalars scalar values of utf8_text in double quotes, with '"'
// and '\' escaped by a backslash, \n \r \t \0 for those controls and \u{hex}
// for every other character that would not show; the rest is copied as UTF-8.
// The text is expected to be valid UTF-8; a malformed byte counts as one
// U+FFFD so the preview never reads past the text.
std::string quoted_preview(std::string_view utf8_text, std::size_t max_scalars = 160);

}  // namespace vth
