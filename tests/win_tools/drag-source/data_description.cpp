#include "data_description.hpp"

#include <charconv>
#include <string>

#include "common/os.hpp"

namespace vth::drag {
namespace {

Result<std::string> unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return fail("dangling backslash");
        switch (text[i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return fail("unknown escape");
        }
    }
    return out;
}

// UTF-8 to UTF-16LE; the descriptions are written by tests, so only
// well-formed input is expected.
std::string to_utf16le(std::string_view utf8) {
    std::string out;
    auto put = [&](std::uint32_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t c = length == 1 ? lead : lead & (0xFFu >> (length + 1));
        for (int k = 1; k < length && i + static_cast<std::size_t>(k) < utf8.size(); ++k) {
            c = (c << 6) |
                (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
        }
        i += static_cast<std::size_t>(length);
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

Result<std::string> from_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return fail("odd number of hex digits");
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (ec != std::errc{} || end != hex.data() + i + 2) return fail("bad hex digit");
        out += static_cast<char>(value);
    }
    return out;
}

// A number after prefix in text; nothing when text does not start with it.
template <typename Number>
std::optional<Number> number_after(std::string_view text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return std::nullopt;
    text.remove_prefix(prefix.size());
    Number value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Splits off the text before the next colon.
std::string_view take_field(std::string_view& rest) {
    std::size_t colon = rest.find(':');
    std::string_view field = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    return field;
}

}  // namespace

Result<OfferedFormat> parse_offer(std::string_view description,
                                  std::uint16_t (*format_id)(std::string_view name)) {
    std::string_view rest = description;
    std::string_view format = take_field(rest);
    std::string_view medium = take_field(rest);
    std::string_view encoding = take_field(rest);
    if (format.empty() || rest.data() == nullptr)
        return fail("expected FORMAT:MEDIUM:ENCODING:DATA");

    OfferedFormat offer;
    if (std::size_t at = format.find('@'); at != std::string_view::npos) {
        std::string_view index = format.substr(at + 1);
        auto [end, ec] = std::from_chars(index.data(), index.data() + index.size(), offer.lindex);
        if (ec != std::errc{} || end != index.data() + index.size()) return fail("bad item index");
        format = format.substr(0, at);
    }
    unsigned number = 0;
    auto [end, ec] = std::from_chars(format.data(), format.data() + format.size(), number);
    if (ec == std::errc{} && end == format.data() + format.size() && number <= 0xFFFF) {
        offer.format = static_cast<std::uint16_t>(number);
    } else {
        offer.format = format_id(format);
    }

    if (medium == "hglobal") {
        offer.medium = Medium::hglobal;
    } else if (medium == "stream") {
        offer.medium = Medium::stream;
    } else if (auto claimed = number_after<std::uint64_t>(medium, "stream-claiming-")) {
        offer.medium = Medium::stream;
        offer.claimed_size = claimed;
    } else if (auto extra = number_after<std::uint32_t>(medium, "stream-overreporting-")) {
        offer.medium = Medium::stream;
        offer.overreport = *extra;
    } else {
        return fail("medium must be hglobal, stream, stream-claiming-N or stream-overreporting-N");
    }

    if (encoding == "file") {
        auto bytes = os::read_file(std::string(rest));
        if (!bytes) return std::unexpected(bytes.error());
        offer.bytes = std::move(*bytes);
        return offer;
    }
    Result<std::string> bytes = encoding == "hex" ? from_hex(rest) : unescape(rest);
    if (!bytes) return std::unexpected(bytes.error());
    if (encoding == "utf16") {
        offer.bytes = to_utf16le(*bytes);
    } else if (encoding == "text" || encoding == "hex") {
        offer.bytes = std::move(*bytes);
    } else {
        return fail("encoding must be text, utf16, hex or file");
    }
    return offer;
}

}  // namespace vth::drag
