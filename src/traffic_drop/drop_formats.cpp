#include "traffic_drop/drop_formats.hpp"

#include "traffic_drop/text_decoding.hpp"
#include "traffic_drop/url_candidate.hpp"
#include "traffic_drop/white_space.hpp"

namespace vth::drop {
namespace {

constexpr std::uint16_t cf_text = 1;
constexpr std::uint16_t cf_unicodetext = 13;

struct FormatEntry {
    std::uint16_t format;
    bool wide;
    std::int32_t lindex;
};

std::optional<std::string> candidate_of(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return extract_url_candidate(*text);
}

}  // namespace

std::optional<std::string> try_format(DropDataSource& source, std::uint16_t format, bool wide,
                                      std::int32_t lindex) {
    for (Medium medium : {Medium::hglobal, Medium::istream}) {
        std::optional<std::string> bytes = source.read_medium(format, lindex, medium);
        if (!bytes) continue;
        std::string text = decode_text(*bytes, wide);
        if (!is_blank(text)) return text;
    }
    return std::nullopt;
}

std::optional<std::string> find_drop_candidate(DropDataSource& source) {
    // Looked up at every drop, in this order; the try order below differs.
    const std::uint16_t url_w = source.format_id("UniformResourceLocatorW");
    const std::uint16_t url_a = source.format_id("UniformResourceLocator");
    const std::uint16_t moz_url = source.format_id("text/x-moz-url");
    const std::uint16_t html_format = source.format_id("HTML Format");
    const std::uint16_t text_html = source.format_id("text/html");
    const std::uint16_t uri_list = source.format_id("text/uri-list");
    const std::uint16_t file_contents = source.format_id("FileContents");

    const FormatEntry fixed[] = {
        {url_w, true, -1},        {cf_unicodetext, true, -1}, {moz_url, true, -1},
        {html_format, false, -1}, {text_html, false, -1},     {uri_list, false, -1},
        {url_a, false, -1},       {cf_text, false, -1},       {file_contents, false, 0},
    };
    for (const FormatEntry& entry : fixed) {
        if (auto candidate =
                candidate_of(try_format(source, entry.format, entry.wide, entry.lindex))) {
            return candidate;
        }
    }

    if (!source.start_listing()) return std::nullopt;
    while (std::optional<ListedFormat> listed = source.next_listed()) {
        std::optional<std::string> text = try_format(source, listed->format, true, listed->lindex);
        if (!text) text = try_format(source, listed->format, false, listed->lindex);
        if (auto candidate = candidate_of(text)) return candidate;
    }
    return std::nullopt;
}

}  // namespace vth::drop
