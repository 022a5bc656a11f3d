// Any bytes as traffic-helper.json. A decoded configuration, written back as
// its record, decodes to the same record; errors point into the input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_checks.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "records/decoded_record.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto config = vth::decode_config(input);
    if (!config) {
        vth::fuzz::check(!config.error().text.empty(), "empty error text");
        vth::fuzz::check_position(input, config.error().text);
        return 0;
    }
    const auto record = vth::config_record(*config);
    auto again = vth::decode_config(record);
    vth::fuzz::check(again.has_value(), "record of a decoded config does not decode");
    vth::fuzz::check(vth::config_record(*again) == record, "record changes on a second decoding");
    return 0;
}
