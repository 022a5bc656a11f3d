#include <gtest/gtest.h>

#include <string>

#include "traffic_drop/text_decoding.hpp"

namespace vth::drop {
namespace {

using namespace std::string_literals;

const std::string fffd = "\xEF\xBF\xBD";

TEST(DecodeUtf16Text, StopsAtZeroAndReplacesUnpairedSurrogates) {
    const std::pair<std::string, std::string> rows[] = {
        {"h\0i\0"s, "hi"},
        {"h\0i\0\0\0x\0"s, "hi"},
        {"h\0i"s, "h"},
        {""s, ""},
        {"\0\0h\0"s, ""},
        {"\xE9\0"s, "\xC3\xA9"},
        {"\x3D\xD8\x00\xDE"s, "\xF0\x9F\x98\x80"},
        {"\x00\xD8"
         "a\0"s,
         fffd + "a"},
        {"\x00\xDC"
         "a\0"s,
         fffd + "a"},
        {"a\0\x00\xD8"s, "a" + fffd},
        {"\x00\xD8\x00\xD8\x00\xDC"s, fffd + "\xF0\x90\x80\x80"},
        {"\xFF\xFE"s, "\xEF\xBB\xBF"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(decode_utf16_text(bytes), text) << "bytes of size " << bytes.size();
    }
}

TEST(Decode8bitText, AlwaysUtf8WithReplacement) {
    const std::pair<std::string, std::string> rows[] = {
        {"plain"s, "plain"},
        {"ab\0cd"s, "ab"},
        {"caf\xE9"s, "caf" + fffd},
        {"caf\xE9!"s, "caf" + fffd + "!"},
        {"\xE2\x82"s, fffd},
        {"\xE2\x82"
         "A"s,
         fffd + "A"},
        {"\xE2\x82\xAC"s, "\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80"s, "\xF0\x9F\x98\x80"},
        {"\xED\xA0\x80"s, fffd + fffd + fffd},
        {"\xC0\xAF"s, fffd + fffd},
        {"\xF4\x90\x80\x80"s, fffd + fffd + fffd + fffd},
        {"\xF0\x9F\x98"s, fffd},
        {"\x80\xBF"s, fffd + fffd},
        {"\xEF\xBB\xBFx"s, "\xEF\xBB\xBFx"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(decode_8bit_text(bytes), text) << "bytes: " << bytes;
    }
}

TEST(StreamReadSize, CappedAtOneMebibyte) {
    const std::pair<std::uint64_t, std::size_t> rows[] = {
        {0, 0}, {5, 5}, {1048576, 1048576}, {1048577, 1048576}, {0xFFFFFFFFFFFFFFFFULL, 1048576},
    };
    for (auto [reported, size] : rows) EXPECT_EQ(stream_read_size(reported), size) << reported;
}

}  // namespace
}  // namespace vth::drop
