#include "common/error.hpp"

#include <string_view>

namespace vth {

std::string os_error_text(std::string_view system_message, long code) {
    auto end = system_message.find_last_not_of(" \t\r\n\v\f");
    std::string text(end == std::string_view::npos ? std::string_view{}
                                                   : system_message.substr(0, end + 1));
    text += " (os error ";
    text += std::to_string(code);
    text += ')';
    return text;
}

}  // namespace vth
