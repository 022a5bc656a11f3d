#pragma once
// Unicode White_Space trimming over UTF-8 text. Bytes that are not valid
// UTF-8 count as ordinary characters, so any byte string is safe to pass.
#include <string_view>

namespace vth::drop {

std::string_view trim_white_space(std::string_view text) noexcept;

// True for text that is empty or made only of white space.
bool is_blank(std::string_view text) noexcept;

}  // namespace vth::drop
