// Any bytes as one command line. A decoded command, written back as its
// record (the map form), decodes to the same record, numbers included; the
// line decoder refuses exactly the lines that are not UTF-8; the entry for a
// NUL-terminated line gives the same answer as the one for any text; no
// error text holds a control character, a line separator or a direction
// control, so none can forge or reorder a log line; an error text stays
// short whatever the line holds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/control_escape.hpp"
#include "common/utf8.hpp"
#include "fuzz_checks.hpp"
#include "helper/command_reader.hpp"
#include "protocol/command_decode.hpp"
#include "records/decoded_record.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto line = vth::decode_command_line(input);
    if (!line) {
        vth::fuzz::check(!vth::has_control(line.error().text), "control character in an error");
    }
    if (!vth::is_valid_utf8(input)) {
        vth::fuzz::check(!line && line.error().text == vth::invalid_utf8_text,
                         "non-UTF-8 line accepted");
    }
    auto command = vth::decode_command(input);
    const std::string terminated(input);
    auto same = vth::decode_command(vth::json::NulTerminated{terminated});
    vth::fuzz::check(command.has_value() == same.has_value(), "entries disagree on success");
    if (command) {
        vth::fuzz::check(vth::command_record(*command) == vth::command_record(*same),
                         "entries decode different commands");
    } else {
        vth::fuzz::check(command.error().text == same.error().text,
                         "entries give different errors");
    }
    if (!command) {
        vth::fuzz::check(!command.error().text.empty(), "empty error text");
        if (vth::is_valid_utf8(input)) {
            vth::fuzz::check(!vth::has_control(command.error().text),
                             "control character in an error");
            vth::fuzz::check(!vth::fuzz::holds_layout_character(command.error().text),
                             "line separator or direction control in an error");
        }
        // A quotation of 160 written characters, at most 4 bytes each, and the
        // fixed words around it.
        vth::fuzz::check(command.error().text.size() < 1024, "error text too long");
        vth::fuzz::check_position(input, command.error().text);
        return 0;
    }
    const auto record = vth::command_record(*command);
    auto again = vth::decode_command(record);
    vth::fuzz::check(again.has_value(), "record of a decoded command does not decode");
    vth::fuzz::check(vth::command_record(*again) == record, "record changes on a second decoding");
    return 0;
}
