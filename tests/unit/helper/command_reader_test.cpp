#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "fake_streams.hpp"
#include "helper/command_reader.hpp"
#include "helper/line_reader.hpp"
#include "records/decoded_record.hpp"
#include "support/fixtures.hpp"

namespace vth {
namespace {

struct Received {
    std::vector<std::string> commands;
    std::vector<std::string> rejected;
};

Received run(std::string stream, std::size_t accept = 100) {
    test::ScriptedSource source({std::move(stream)});
    Received got;
    auto done = read_commands(
        source,
        [&](OverlayCommand c) {
            got.commands.push_back(command_record(c));
            return got.commands.size() < accept;
        },
        [&](std::string_view line) { got.rejected.emplace_back(line); });
    EXPECT_TRUE(done);
    return got;
}

TEST(CommandReader, InvalidUtf8LineIsRejectedAndReadingGoesOn) {
    auto got =
        run("{\"type\":\"setVisible\",\"visible\":true}\r\n"
            "{\"type\":\"updateContent\",\"title\":\"\xff\"}\n"
            "\n"
            "{\"type\":\"shutdown\"}");
    EXPECT_EQ(got.commands, (std::vector<std::string>{R"({"type":"setVisible","visible":true})",
                                                      R"({"type":"shutdown"})"}));
    EXPECT_EQ(
        got.rejected,
        (std::vector<std::string>{
            "rejected invalid helper command: stream did not contain valid UTF-8",
            "rejected invalid helper command: EOF while parsing a value at line 1 column 0"}));
}

// One line of 'x' bytes of the given length, then tail, made up as it is read.
class LongLineSource : public ByteSource {
  public:
    LongLineSource(std::size_t length, std::string tail) : left_(length), tail_(std::move(tail)) {}

    Result<std::size_t> read(std::span<char> buffer) override {
        if (left_ == 0) {
            const std::size_t n = std::min(buffer.size(), tail_.size());
            std::copy_n(tail_.begin(), n, buffer.begin());
            tail_.erase(0, n);
            return n;
        }
        const std::size_t n = std::min(buffer.size(), left_);
        std::fill_n(buffer.begin(), n, 'x');
        left_ -= n;
        return n;
    }

  private:
    std::size_t left_;
    std::string tail_;
};

TEST(CommandReader, LineOverTheLimitIsRejectedOnceAndReadingGoesOn) {
    for (const char* ending : {"\n", "\r\n"}) {
        LongLineSource source(LineReader::default_max_line + 1,
                              std::string(ending) + "{\"type\":\"shutdown\"}\n");
        Received got;
        auto done = read_commands(
            source,
            [&](OverlayCommand c) {
                got.commands.push_back(command_record(c));
                return true;
            },
            [&](std::string_view line) { got.rejected.emplace_back(line); });
        EXPECT_TRUE(done);
        EXPECT_EQ(got.rejected, (std::vector<std::string>{
                                    "rejected invalid helper command: line longer than 67108864 "
                                    "bytes"}));
        EXPECT_EQ(got.commands, (std::vector<std::string>{R"({"type":"shutdown"})"}));
    }
}

TEST(CommandReader, StopsWhenTheReceiverIsGone) {
    auto got = run("{\"type\":\"shutdown\"}\n{\"type\":\"shutdown\"}\n", 1);
    EXPECT_EQ(got.commands.size(), 1u);
}

TEST(CommandReader, Utf8IsCheckedBeforeDecoding) {
    struct Row {
        std::string line;
        std::string error;
    };
    const std::vector<Row> rows = {
        {"\xc3", "stream did not contain valid UTF-8"},
        {"{\"type\":\"shutdown\"}\xed\xa0\x80", "stream did not contain valid UTF-8"},
        {"{\"type\":\"bogus\"}",
         "unknown variant `bogus`, expected one of `setVisible`, `setPosition`, "
         "`updateContent`, `shutdown` at line 1 column 15"},
        {"{\"type\":\"bogus\"}\xff", "stream did not contain valid UTF-8"},
        {"{\"type\":\"shutdown\",\"ignored\":\"\xc3\x28\"}", "stream did not contain valid UTF-8"},
        {"{\"type\":\"shutdown\",\"ignored\":\"\xf4\x90\x80\x80\"}",
         "stream did not contain valid UTF-8"},
        // A received name never carries a line end or a terminal escape into the text.
        {R"({"type":"x\nSystemTime { intervals: 1 } traffic helper received shutdown"})",
         "unknown variant `x\\nSystemTime { intervals: 1 } traffic helper received shutdown`, "
         "expected one of `setVisible`, `setPosition`, `updateContent`, `shutdown` at line 1 "
         "column 73"},
        {R"({"type":"\r\u0000\u001b[1m\u007f\u0085\u00a0\\n"})",
         "unknown variant `\\r\\0\\u{1b}[1m\\u{7f}\\u{85}\\u{a0}\\n`, expected one of "
         "`setVisible`, `setPosition`, `updateContent`, `shutdown` at line 1 column 48"},
    };
    for (const auto& row : rows) {
        auto decoded = decode_command_line(row.line);
        ASSERT_FALSE(decoded) << row.line;
        EXPECT_EQ(decoded.error().text, row.error) << row.line;
    }
}

// Lines are decoded where the line reader holds them; the answers are those
// of the line decoder on a copy.
TEST(CommandReader, EveryTableCommandReadAsALineAnswersAsDecoded) {
    std::string stream;
    std::vector<std::string> want;
    for (const auto& row : test::read_tsv("decoder-cases.tsv")) {
        if (row[0] != "command") continue;
        const std::string line = test::input_bytes(row[1]);
        if (line.find('\n') != std::string::npos || line.ends_with('\r')) continue;
        stream += line + "\n";
        auto decoded = decode_command_line(line);
        want.push_back(decoded ? command_record(*decoded)
                               : std::string(rejected_command_prefix) + decoded.error().text);
    }
    ASSERT_GT(want.size(), 100u);
    test::ScriptedSource source({stream});
    std::vector<std::string> got;
    auto done = read_commands(
        source,
        [&](OverlayCommand c) {
            got.push_back(command_record(c));
            return true;
        },
        [&](std::string_view line) { got.emplace_back(line); });
    EXPECT_TRUE(done);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << i;
}

}  // namespace
}  // namespace vth
