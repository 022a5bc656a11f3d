#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "traffic_drop/url_candidate.hpp"

namespace vth::drop {
namespace {

struct Row {
    std::string input;
    std::optional<std::string> candidate;
};

void expect_rows(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(extract_url_candidate(row.input), row.candidate) << "input: " << row.input;
    }
}

constexpr auto none = std::nullopt;

TEST(ExtractUrlCandidate, NothingInBlankOrNoise) {
    expect_rows({
        {"", none},
        {" \t\r\n\v\f", none},
        {"\xC2\x85\xC2\xA0\xE1\x9A\x80\xE2\x80\x8A\xE2\x80\xA8\xE2\x80\xAF\xE2\x81\x9F\xE3\x80\x80",
         none},
        {"\xEF\xBB\xBF", none},
        {"\xE2\x80\x8B\xE2\x80\x8B\xE2\x80\x8C\xE2\x80\x8D\xE2\x81\xA0", none},
        {std::string("\0\0", 2), none},
    });
}

TEST(ExtractUrlCandidate, NoiseRemovedAndUnicodeSpaceTrimmed) {
    expect_rows({
        {"exa\xE2\x80\x8Bmple.com", "example.com"},
        {std::string("exa\0mple.com", 12), "example.com"},
        {"\xEF\xBB\xBF"
         "example.com",
         "example.com"},
        {"\xE3\x80\x80 example.com\xC2\xA0\xC2\x85", "example.com"},
        // U+200B is noise, not white space: it vanishes between the spaces.
        {" \xE2\x80\x8B a.example \xE2\x80\x8B ", "a.example"},
        // U+180E is not white space.
        {"\xE1\xA0\x8E"
         "a.example",
         "\xE1\xA0\x8E"
         "a.example"},
    });
}

TEST(ExtractUrlCandidate, ShortcutLinesWin) {
    expect_rows({
        {"[InternetShortcut]\r\nURL=https://example.com/page?q=1\r\n",
         "https://example.com/page?q=1"},
        {"URL=\r\nURL=   \r\nhttps://a.example/", "https://a.example/"},
        {"URL=\nurl=  b.example  ", "b.example"},
        {"URL=intranet", "intranet"},
        {"intranet", none},
        {"<a href=\"https://a.example/\">a</a>\nsecond\nurl=b.example", "b.example"},
        {"  URL=  spaced value  ", "spaced value"},
        // Only "URL=" and "url=" count, and only at the start of the line.
        {"Url=intranet", none},
        {"uRL=x.example", "uRL=x.example"},
        {"go url=intranet", none},
        {"see url=x.example", "see url=x.example"},
    });
}

TEST(ExtractUrlCandidate, DoubleQuotedHref) {
    expect_rows({
        {"<A HREF=\"https://Example.COM/Path\">Go</A>", "https://Example.COM/Path"},
        {"<a href=\"http://intranet/\">x</a>", "http://intranet/"},
        {"<a href=\"/about\">About</a>", none},
        {"<a href=\"HTTP://intranet/\">x</a>", "<a href=\"HTTP://intranet/\">x</a>"},
        {"<a href=\"https://a.example/it's\">", "https://a.example/it"},
        {"<a href=\"https://a.example/a\tb\">", "https://a.example/a\tb"},
        {"<a href=\"https://a.example/a b\">", "https://a.example/a"},
        {"<a href=\"a.example\r\nmore\">", "a.example"},
        {"<a href =\"https://a.example/\">", "<a href =\"https://a.example/\">"},
        {"<a href= \"https://a.example/\">", "<a href= \"https://a.example/\">"},
        // Only the first occurrence is looked at.
        {"<a href=\"/x\"><a href=\"https://b.example/\">",
         "<a href=\"/x\"><a href=\"https://b.example/\">"},
        {"<a href=\"\">\n<b>plain</b>", none},
    });
}

TEST(ExtractUrlCandidate, SingleQuotedHref) {
    expect_rows({
        {"<a href='https://a.example/'>", "https://a.example/"},
        {"<a href='a.example\"x'>", "a.example"},
        {"<a href=\"/rel\"> <a href='b.example'>", "b.example"},
        {"<a href='/rel'>", none},
    });
}

TEST(ExtractUrlCandidate, AddressLikeLines) {
    expect_rows({
        {"http://intranet", "http://intranet"},
        {"intranet:8080", none},
        {"https://a.example/\nA title", "https://a.example/"},
        {"\n\n  first line\n second.line \n", "second.line"},
        {"Version:0.9\r\nStartHTML:000000105\r\n<html><body>text</body></html>", "Version:0.9"},
        {"# list v1.0\r\nhttps://a.example/", "# list v1.0"},
        // A lone CR does not split: one line.
        {"foo\rURL=x.example", "foo\rURL=x.example"},
        {"word\rother", none},
    });
}

TEST(ExtractUrlCandidate, SecondApplication) {
    struct Case {
        std::string input;
        std::optional<std::string> second;
    };
    const Case cases[] = {
        {"https://a.example/path", "https://a.example/path"},
        {"<A HREF=\"https://Example.COM/\">", "https://Example.COM/"},
        {"URL=URL=x.example", "x.example"},
        {"<a href=\"/x\">\n<a href=\"https://b.example/\">", "https://b.example/"},
        {"URL=intranet", none},
        {"URL=<a href=\"/x\">", none},
    };
    for (const Case& c : cases) {
        std::optional<std::string> first = extract_url_candidate(c.input);
        ASSERT_TRUE(first) << "input: " << c.input;
        EXPECT_EQ(extract_url_candidate(*first), c.second) << "input: " << c.input;
    }
}

TEST(StripDropNoise, RemovesOnlyNoise) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {std::string("a\0b\xE2\x80\x8B"
                     "c\xEF\xBB\xBF",
                     10),
         "abc"},
        {"\xE2\x80\x8E\xE2\x80\x8A", "\xE2\x80\x8E\xE2\x80\x8A"},
        {"\xE2\x80", "\xE2\x80"},
    };
    for (const auto& [input, output] : rows) {
        EXPECT_EQ(strip_drop_noise(input), output) << "input: " << input;
    }
}

}  // namespace
}  // namespace vth::drop
