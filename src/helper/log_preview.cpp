#include "helper/log_preview.hpp"

#include "common/received_text.hpp"

namespace vth {

std::string quoted_preview(std::string_view utf8_text, std::size_t max_scalars) {
    std::string out = "\"";
    append_received(out, utf8_text, Quotes::escaped, {.characters = max_scalars});
    out += '"';
    return out;
}

}  // namespace vth
