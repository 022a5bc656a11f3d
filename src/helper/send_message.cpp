#include "helper/send_message.hpp"
#include "protocol/message_encode.hpp"

#include <algorithm>
#include <string>

namespace vth {

Result<void> write_all(ByteSink& stream, std::string_view bytes) {
    while (!bytes.empty()) {
        auto written = stream.write(bytes);
        if (!written) {
            if (is_interrupted(written.error())) continue;
            return std::unexpected(written.error());
        }
        if (*written == 0) return fail("failed to write whole buffer");
        bytes.remove_prefix(std::min(*written, bytes.size()));
    }
    return {};
}

Result<void> send_message(ByteSink& stream, const HelperMessage& message) {
    const std::string line = encode_message(message);
    return write_all(stream, line);
}

}  // namespace vth
