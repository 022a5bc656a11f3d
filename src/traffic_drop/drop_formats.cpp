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

// Says before each call into the data object whether the drop's time is
// spent; one made without a clock never is.
class Budget {
  public:
    Budget() = default;
    explicit Budget(const DropClock& now) : now_(&now), deadline_(now() + drop_read_budget) {}
    bool spent() const { return now_ != nullptr && (*now_)() >= deadline_; }

  private:
    const DropClock* now_ = nullptr;
    std::chrono::steady_clock::time_point deadline_{};
};

std::optional<std::string> read_format(DropDataSource& source, const Budget& budget,
                                       std::uint16_t format, bool wide, std::int32_t lindex) {
    for (Medium medium : {Medium::hglobal, Medium::istream}) {
        if (budget.spent()) return std::nullopt;
        std::optional<std::string> bytes = source.read_medium(format, lindex, medium);
        if (!bytes) continue;
        std::string text = decode_text(*bytes, wide);
        if (!is_blank(text)) return text;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> try_format(DropDataSource& source, std::uint16_t format, bool wide,
                                      std::int32_t lindex) {
    return read_format(source, Budget(), format, wide, lindex);
}

std::optional<std::string> find_drop_candidate(DropDataSource& source, const DropClock& now) {
    const Budget budget(now);
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
                candidate_of(read_format(source, budget, entry.format, entry.wide, entry.lindex))) {
            return candidate;
        }
    }

    if (budget.spent() || !source.start_listing()) return std::nullopt;
    for (std::size_t taken = 0; taken < listed_format_limit && !budget.spent(); ++taken) {
        std::optional<ListedFormat> listed = source.next_listed();
        if (!listed) break;
        std::optional<std::string> text =
            read_format(source, budget, listed->format, true, listed->lindex);
        if (!text) text = read_format(source, budget, listed->format, false, listed->lindex);
        if (auto candidate = candidate_of(text)) return candidate;
    }
    return std::nullopt;
}

}  // namespace vth::drop
