#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_streams.hpp"
#include "helper/command_reader.hpp"
#include "records/decoded_record.hpp"

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
    };
    for (const auto& row : rows) {
        auto decoded = decode_command_line(row.line);
        ASSERT_FALSE(decoded) << row.line;
        EXPECT_EQ(decoded.error().text, row.error) << row.line;
    }
}

}  // namespace
}  // namespace vth
