// Number texts built from the input, placed where the decoders read a double
// (a sample's t, or its down just before the line ends) or an integer
// (setPosition's x and y, the configuration's port, x, y and gui_pid). The
// standard library is the reference: an accepted double equals the
// std::from_chars reading bit for bit, a text that reading finds too large is
// refused as out of range, one it finds too small reads as a zero of its sign;
// an integer field takes exactly the JSON integers std::from_chars reads into
// its type. Texts outside the JSON number grammar are always refused.
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>

#include "fuzz_bytes.hpp"
#include "fuzz_checks.hpp"
#include "protocol/command_decode.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "protocol/overlay_command.hpp"

namespace {

using vth::fuzz::check;

using vth::fuzz::Bytes;

// Mantissas around the edges of double, int32, uint16, uint32 and the 64-bit
// integers the decoders hold exactly.
constexpr std::string_view edge_digits[] = {
    "17976931348623157",
    "17976931348623158",
    "17976931348623159",
    "22250738585072011",
    "22250738585072014",
    "24703282292062327",
    "24703282292062328",
    "49406564584124654",
    "9007199254740992",
    "9007199254740993",
    "4503599627370497",
    "2147483647",
    "2147483648",
    "2147483649",
    "4294967295",
    "4294967296",
    "65535",
    "65536",
    "9223372036854775807",
    "9223372036854775808",
    "9223372036854775809",
    "18446744073709551615",
    "18446744073709551616",
    "1",
    "5",
    "0",
};

constexpr std::string_view edge_exponents[] = {
    "308",
    "309",
    "307",
    "323",
    "324",
    "325",
    "342",
    "343",
    "400",
    "22",
    "23",
    "16",
    "17",
    "999999999999",
    "2147483647",
    "2147483648",
    "4294967296",
    "0",
    "00000000000000000000309",
};

// Characters number texts are made of, plus letters std::from_chars knows
// ("inf", "nan", hex). None of them can form another JSON value or
// structure, so a line is valid exactly when the text is one JSON number.
constexpr std::string_view alphabet = "0123456789-+.eE0123456789.-eEinfaxpINFAXP";

void append_digits(Bytes& in, std::string& out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out += static_cast<char>('0' + in.below(10));
}

// Digits in one of several shapes: a few, many, a long run of one digit, or
// an edge mantissa.
void append_digit_run(Bytes& in, std::string& out) {
    switch (in.below(6)) {
        case 0:
            append_digits(in, out, 1 + in.below(8));
            break;
        case 1:
            append_digits(in, out, 1 + in.below(24));
            break;
        case 2: {
            const auto digit = static_cast<char>('0' + in.below(10));
            out.append(1 + in.below(64) * 16, digit);
            append_digits(in, out, in.below(4));
            break;
        }
        case 3:
            append_digits(in, out, 1 + in.below(256) * 4);
            break;
        default:
            out += edge_digits[in.below(std::size(edge_digits))];
            break;
    }
}

std::string number_text(Bytes& in) {
    std::string out;
    if (in.below(8) == 0) {
        // Free-form: mostly not numbers at all.
        const std::size_t length = in.below(48);
        for (std::size_t i = 0; i < length && !in.empty(); ++i)
            out += alphabet[in.below(alphabet.size())];
        return out;
    }
    // Signs, weighted: a minus twice as often as a plus, none half the time.
    constexpr std::string_view signs[] = {"-", "+", "-", "", "", ""};
    out += signs[in.below(std::size(signs))];
    switch (in.below(8)) {
        case 0:
            break;  // no integer part
        case 1:
        case 2:
            out += '0';
            break;
        case 3:
            out += '0';
            append_digit_run(in, out);  // a leading zero
            break;
        default:
            out += static_cast<char>('1' + in.below(9));
            append_digit_run(in, out);
            if (in.below(2) == 0) out.resize(out.size() - 1);
            break;
    }
    switch (in.below(4)) {
        case 0:
            break;
        case 1:
            out += '.';
            break;
        default:
            out += '.';
            append_digit_run(in, out);
            break;
    }
    if (in.below(3) != 0) {
        out += in.below(2) == 0 ? 'e' : 'E';
        constexpr std::string_view exponent_signs[] = {"+", "-", "-", ""};
        out += exponent_signs[in.below(std::size(exponent_signs))];
        switch (in.below(4)) {
            case 0:
                break;  // no exponent digits
            case 1:
                out += edge_exponents[in.below(std::size(edge_exponents))];
                break;
            default:
                append_digits(in, out, 1 + in.below(4));
                break;
        }
    }
    if (in.below(16) == 0) out += alphabet[in.below(alphabet.size())];
    return out;
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, whole text.
bool is_json_number(std::string_view text, bool& integer) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    const std::size_t n = text.size();
    if (i < n && text[i] == '-') ++i;
    if (i == n || !digit(text[i])) return false;
    if (text[i] == '0') {
        ++i;
    } else {
        while (i < n && digit(text[i])) ++i;
    }
    integer = true;
    if (i < n && text[i] == '.') {
        integer = false;
        if (++i == n || !digit(text[i])) return false;
        while (i < n && digit(text[i])) ++i;
    }
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        integer = false;
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        if (i == n || !digit(text[i])) return false;
        while (i < n && digit(text[i])) ++i;
    }
    return i == n;
}

// What a double field must hold for a JSON number text: the value, or
// nothing when it must be refused as out of range.
std::optional<double> expected_double(const std::string& text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    check(end == text.data() + text.size(), "from_chars stops inside a JSON number");
    if (ec == std::errc()) return value;
    check(ec == std::errc::result_out_of_range, "from_chars refuses a JSON number");
    // from_chars leaves the value alone when out of range; strtod tells the
    // two sides apart (infinite, or a zero of the text's sign).
    errno = 0;
    const double side = std::strtod(text.c_str(), nullptr);
    if (std::isinf(side)) return std::nullopt;
    check(side == 0.0 && std::signbit(side) == text.starts_with('-'),
          "out of range and neither infinite nor zero");
    return side;
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// An integer field of type Int: accepted exactly for JSON integers that
// from_chars reads into Int whole. "-0" is a float to the decoders.
template <typename Int>
std::optional<Int> expected_integer(const std::string& text, bool json_integer) {
    if (!json_integer || text == "-0") return std::nullopt;
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Both command entries agree; the answer is the one for any text.
vth::Result<vth::OverlayCommand> decode_both(const std::string& line) {
    auto command = vth::decode_command(line);
    auto terminated = vth::decode_command(vth::json::NulTerminated{line});
    check(command.has_value() == terminated.has_value(), "command entries disagree");
    if (!command) check(command.error().text == terminated.error().text, "error texts differ");
    return command;
}

void check_refused_out_of_range(const std::string& error) {
    check(error.starts_with("number out of range"), "overflow not reported as out of range");
}

// index: 0 for t, 2 for down.
void check_sample(const std::string& line, int index, bool json_number,
                  const std::optional<double>& wanted) {
    auto command = decode_both(line);
    if (!json_number) {
        check(!command, "a text that is not a JSON number accepted");
        return;
    }
    if (!wanted) {
        check(!command, "number beyond double accepted");
        check_refused_out_of_range(command.error().text);
        return;
    }
    check(command.has_value(), "finite JSON number refused");
    const auto* content = std::get_if<vth::command::UpdateContent>(&*command);
    check(content != nullptr, "not an updateContent");
    check(content->title.empty() && content->subtitle.empty() && !content->feedback &&
              !content->drop_hover,
          "other fields changed");
    check(content->samples.size() == 1, "not exactly one sample");
    const vth::WireSample& s = content->samples.front();
    const double got = index == 0 ? s.t : s.down;
    const double zero_a = index == 0 ? s.up : s.t;
    const double zero_b = index == 0 ? s.down : s.up;
    check(same_bits(got, *wanted), "sample number differs from from_chars");
    check(same_bits(zero_a, 0.0) && same_bits(zero_b, 0.0), "the other sample numbers are not 0");
}

void check_position(const std::string& line, bool x_field, std::int32_t other,
                    const std::optional<std::int32_t>& wanted) {
    auto command = decode_both(line);
    if (!wanted) {
        check(!command, "setPosition accepted a number that is not an int32 integer");
        return;
    }
    check(command.has_value(), "setPosition refused an int32 integer");
    const auto* position = std::get_if<vth::command::SetPosition>(&*command);
    check(position != nullptr, "not a setPosition");
    check((x_field ? position->x : position->y) == *wanted, "integer differs from from_chars");
    check((x_field ? position->y : position->x) == other, "the other coordinate changed");
}

void check_config(const std::string& text, bool json_integer, std::size_t field) {
    const std::string fixed[] = {"5000", "-12", "34", "4321"};
    std::string values[4] = {fixed[0], fixed[1], fixed[2], fixed[3]};
    values[field] = text;
    // gui_pid last: its number is followed by one byte, the others by many.
    const std::string file = R"({"host":"127.0.0.1","port":)" + values[0] + R"(,"token":"t","x":)" +
                             values[1] + R"(,"y":)" + values[2] + R"(,"gui_pid":)" + values[3] +
                             "}";
    auto config = vth::decode_config(file);
    bool accepted = false;
    bool right = false;
    switch (field) {
        case 0:
            if (auto v = expected_integer<std::uint16_t>(text, json_integer)) {
                accepted = true;
                right = config && config->port == *v;
            }
            break;
        case 1:
            if (auto v = expected_integer<std::int32_t>(text, json_integer)) {
                accepted = true;
                right = config && config->x == *v;
            }
            break;
        case 2:
            if (auto v = expected_integer<std::int32_t>(text, json_integer)) {
                accepted = true;
                right = config && config->y == *v;
            }
            break;
        default:
            if (auto v = expected_integer<std::uint32_t>(text, json_integer)) {
                accepted = true;
                right = config && config->gui_pid == *v;
            }
            break;
    }
    check(config.has_value() == accepted, "configuration integer accepted or refused wrongly");
    if (!accepted) return;
    check(right, "configuration integer differs from from_chars");
    check(config->host == "127.0.0.1" && config->token == "t", "configuration strings changed");
    check((field == 0 || config->port == 5000) && (field == 1 || config->x == -12) &&
              (field == 2 || config->y == 34) && (field == 3 || config->gui_pid == 4321),
          "other configuration integers changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const std::size_t config_field = in.below(4);
    const std::string text = number_text(in);

    bool integer = false;
    const bool json_number = is_json_number(text, integer);
    const bool json_integer = json_number && integer;
    const std::optional<double> wanted = json_number ? expected_double(text) : std::nullopt;

    // t is followed by many bytes (the eight-at-a-time reading), down by three
    // (the padded copy).
    check_sample(R"({"type":"updateContent","title":"","subtitle":"","samples":[[)" + text +
                     R"(,0,0]],"dropHover":false})",
                 0, json_number, wanted);
    check_sample(
        R"({"type":"updateContent","title":"","subtitle":"","dropHover":false,"samples":[[0,0,)" +
            text + "]]}",
        2, json_number, wanted);

    const auto position = expected_integer<std::int32_t>(text, json_integer);
    check_position(R"({"type":"setPosition","x":)" + text + R"(,"y":-12345})", true, -12345,
                   position);
    check_position(R"({"type":"setPosition","y":7,"x":)" + text + "}", true, 7, position);
    check_position(R"({"type":"setPosition","x":7,"y":)" + text + "}", false, 7, position);

    check_config(text, json_integer, config_field);
    return 0;
}
