#include "common/error.hpp"

#include <cstdio>
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

std::string hresult_error_text(std::string_view message, std::uint32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
    if (message.empty()) return hex;
    std::string text(message);
    text += " (";
    text += hex;
    text += ')';
    return text;
}

}  // namespace vth
