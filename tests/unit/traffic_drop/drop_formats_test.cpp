#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "traffic_drop/drop_formats.hpp"

namespace vth::drop {
namespace {

using namespace std::string_literals;

std::string utf16(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// A data object as plain data: bytes per (format, lindex, medium), named
// formats numbered from 0xC000 in order of first lookup, and a format list,
// endless when it starts over at its end. Each read costs read_cost on clock.
class FakeSource final : public DropDataSource {
  public:
    std::map<std::tuple<std::uint16_t, std::int32_t, Medium>, std::string> media;
    std::vector<ListedFormat> listed;
    bool listing_works = true;
    bool endless = false;
    std::chrono::milliseconds read_cost{0};
    std::chrono::steady_clock::time_point clock{};
    std::vector<std::tuple<std::uint16_t, std::int32_t, Medium>> reads;

    std::uint16_t id(std::string_view name) {
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i] == name) return static_cast<std::uint16_t>(0xC000 + i);
        }
        names_.emplace_back(name);
        return static_cast<std::uint16_t>(0xC000 + names_.size() - 1);
    }

    std::uint16_t format_id(std::string_view name) override { return id(name); }
    std::optional<std::string> read_medium(std::uint16_t format, std::int32_t lindex,
                                           Medium medium) override {
        reads.emplace_back(format, lindex, medium);
        clock += read_cost;
        auto it = media.find({format, lindex, medium});
        if (it == media.end()) return std::nullopt;
        return it->second;
    }
    bool start_listing() override {
        next_ = 0;
        return listing_works;
    }
    std::optional<ListedFormat> next_listed() override {
        if (endless && next_ == listed.size()) next_ = 0;
        if (next_ >= listed.size()) return std::nullopt;
        return listed[next_++];
    }

  private:
    std::vector<std::string> names_;
    std::size_t next_ = 0;
};

constexpr std::uint16_t cf_text = 1;
constexpr std::uint16_t cf_unicodetext = 13;

TEST(TryFormat, MediaInOrderAndBlankCountsAsAbsent) {
    struct Row {
        const char* what;
        std::optional<std::string> block;
        std::optional<std::string> stream;
        std::optional<std::string> text;
    };
    const Row rows[] = {
        {"block preferred", "block.example", "stream.example", "block.example"},
        {"blank block, then stream", " \r\n\t ", "stream.example", "stream.example"},
        {"empty block, then stream", "", "stream.example", "stream.example"},
        {"block after zero is ignored", "\0tail"s, "s.example", "s.example"},
        {"stream only", std::nullopt, "s.example", "s.example"},
        {"both blank", " ", "\xE3\x80\x80", std::nullopt},
        {"neither", std::nullopt, std::nullopt, std::nullopt},
        {"text not trimmed", "  a.example\n", std::nullopt, "  a.example\n"},
    };
    for (const Row& row : rows) {
        FakeSource source;
        if (row.block) source.media[{cf_text, -1, Medium::hglobal}] = *row.block;
        if (row.stream) source.media[{cf_text, -1, Medium::istream}] = *row.stream;
        EXPECT_EQ(try_format(source, cf_text, false, -1), row.text) << row.what;
    }
}

TEST(FindDropCandidate, FixedOrderThenListedFormats) {
    struct Offer {
        std::string format;  // a name, or "#" and a number
        std::int32_t lindex;
        Medium medium;
        std::string bytes;
    };
    struct Row {
        const char* what;
        std::vector<Offer> offers;
        std::vector<std::pair<std::string, std::int32_t>> listed;
        std::optional<std::string> candidate;
        bool endless = false;
        std::chrono::milliseconds read_cost{0};
    };
    // A list of n entries without text, then one with a candidate.
    auto blanks_then = [](std::size_t n) {
        std::vector<std::pair<std::string, std::int32_t>> listed(n, {"Blank", -1});
        listed.emplace_back("B", -1);
        return listed;
    };
    const Offer listed_b{"B", -1, Medium::hglobal, utf16("b.example")};
    const Row rows[] = {
        {"URL format beats plain text",
         {{"#13", -1, Medium::hglobal, utf16("https://text.example/")},
          {"UniformResourceLocatorW", -1, Medium::hglobal, utf16("https://url.example/")}},
         {},
         "https://url.example/"},
        {"format without a candidate does not stop the walk",
         {{"#13", -1, Medium::hglobal, utf16("just words")},
          {"#1", -1, Medium::hglobal, "a.example"}},
         {},
         "a.example"},
        {"moz url first line",
         {{"text/x-moz-url", -1, Medium::hglobal, utf16("https://m.example/\nTitle")}},
         {},
         "https://m.example/"},
        {"HTML Format is 8-bit",
         {{"HTML Format", -1, Medium::hglobal,
           "Version:1.0\r\n<a href=\"https://h.example/\">\xC3\xA9</a>"}},
         {},
         "https://h.example/"},
        {"8-bit URL format before CF_TEXT",
         {{"#1", -1, Medium::hglobal, "t.example"},
          {"UniformResourceLocator", -1, Medium::hglobal, "u.example"}},
         {},
         "u.example"},
        {"FileContents asked for item 0",
         {{"FileContents", 0, Medium::istream, "[InternetShortcut]\r\nURL=https://f.example/\r\n"}},
         {},
         "https://f.example/"},
        {"FileContents for the whole data is not asked for",
         {{"FileContents", -1, Medium::hglobal, "URL=https://f.example/"}},
         {},
         std::nullopt},
        {"listed private format read wide first, with its own item index",
         {{"Private", 3, Medium::hglobal, utf16("p.example")}},
         {{"Private", 3}},
         "p.example"},
        // U+2028 as UTF-16 is blank; as 8-bit the same bytes are "( .".
        {"listed format read 8-bit when its wide reading is blank",
         {{"Private", -1, Medium::istream, "\x28\x20."}},
         {{"Private", -1}},
         "( ."},
        {"wide reading with a text but no candidate is not read again as 8-bit",
         {{"Private", -1, Medium::hglobal, "a.example"}},
         {{"Private", -1}},
         std::nullopt},
        {"listed format without candidate, next listed wins",
         {{"A", -1, Medium::hglobal, utf16("words")},
          {"B", -1, Medium::hglobal, utf16("b.example")}},
         {{"A", -1}, {"B", -1}},
         "b.example"},
        {"nothing usable", {{"#2", -1, Medium::hglobal, "bitmap"}}, {{"#2", -1}}, std::nullopt},
        {"the 1024th listed entry is read", {listed_b}, blanks_then(1023), "b.example", true},
        // A list that never ends counts as ending after its 1024th entry.
        {"the 1025th listed entry is not", {listed_b}, blanks_then(1024), std::nullopt, true},
        // 400 ms a read: the budget is spent after eight reads.
        {"slow source, candidate in the fourth read",
         {{"#13", -1, Medium::istream, utf16("s.example")}},
         {},
         "s.example",
         false,
         std::chrono::milliseconds(400)},
        {"slow source, candidate after the budget",
         {{"#1", -1, Medium::hglobal, "t.example"}},
         {},
         std::nullopt,
         false,
         std::chrono::milliseconds(400)},
    };
    for (const Row& row : rows) {
        FakeSource source;
        source.endless = row.endless;
        source.read_cost = row.read_cost;
        auto id_of = [&](const std::string& format) {
            return format[0] == '#' ? static_cast<std::uint16_t>(std::stoi(format.substr(1)))
                                    : source.id(format);
        };
        for (const Offer& offer : row.offers) {
            source.media[{id_of(offer.format), offer.lindex, offer.medium}] = offer.bytes;
        }
        for (const auto& [name, lindex] : row.listed)
            source.listed.push_back({id_of(name), lindex});
        EXPECT_EQ(find_drop_candidate(source, [&] { return source.clock; }), row.candidate)
            << row.what;
    }
}

TEST(FindDropCandidate, TriesEachFixedFormatInBothMediaThenTheList) {
    FakeSource source;
    source.listed = {{cf_text, -1}};
    EXPECT_EQ(find_drop_candidate(source), std::nullopt);
    using Read = std::tuple<std::uint16_t, std::int32_t, Medium>;
    std::vector<Read> expected;
    const std::pair<std::uint16_t, std::int32_t> fixed[] = {
        {source.id("UniformResourceLocatorW"), -1},
        {cf_unicodetext, -1},
        {source.id("text/x-moz-url"), -1},
        {source.id("HTML Format"), -1},
        {source.id("text/html"), -1},
        {source.id("text/uri-list"), -1},
        {source.id("UniformResourceLocator"), -1},
        {cf_text, -1},
        {source.id("FileContents"), 0},
        // The listed format, wide then 8-bit.
        {cf_text, -1},
        {cf_text, -1},
    };
    for (auto [format, lindex] : fixed) {
        expected.emplace_back(format, lindex, Medium::hglobal);
        expected.emplace_back(format, lindex, Medium::istream);
    }
    EXPECT_EQ(source.reads, expected);
}

TEST(FindDropCandidate, FailingListingGivesNothing) {
    FakeSource source;
    source.listing_works = false;
    source.media[{0x1234, -1, Medium::hglobal}] = "a.example";
    source.listed = {{0x1234, -1}};
    EXPECT_EQ(find_drop_candidate(source), std::nullopt);
}

}  // namespace
}  // namespace vth::drop
