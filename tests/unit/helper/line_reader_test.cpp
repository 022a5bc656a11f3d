#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fake_streams.hpp"
#include "helper/line_reader.hpp"

namespace vth {
namespace {

struct LineRow {
    std::string name;
    std::deque<test::ScriptedSource::Step> chunks;
    std::vector<std::string> lines;
};

// Every line the reader delivers through `next` (copies or views); each must
// have a NUL right after it, as std::string's and the views' promise.
template <typename Next>
std::vector<std::string> all_lines(ByteSource& source, Next next) {
    LineReader reader(source);
    std::vector<std::string> lines;
    for (;;) {
        auto line = next(reader);
        if (!line) {
            lines.push_back("<error " + line.error().text + ">");
            return lines;
        }
        if (!*line) return lines;
        const std::string_view text = **line;
        lines.emplace_back(text);
        if (text.data()[text.size()] != '\0') lines.back() += "<no NUL after>";
    }
}

std::vector<std::string> all_copies(ByteSource& source) {
    return all_lines(source, [](LineReader& reader) { return reader.next(); });
}
std::vector<std::string> all_views(ByteSource& source) {
    return all_lines(source, [](LineReader& reader) { return reader.next_view(); });
}

TEST(LineReader, SplitsLikeTheHelper) {
    const std::string long_line(20000, 'x');
    const Error interrupted{"interrupted", os::interrupted_os_code()};
    const std::vector<LineRow> rows = {
        {"empty stream", {}, {}},
        {"lf", {"a\nb\n"}, {"a", "b"}},
        {"crlf", {"a\r\nb\r\n"}, {"a", "b"}},
        {"final line without lf", {"a\nlast"}, {"a", "last"}},
        {"cr kept without lf", {"a\r"}, {"a\r"}},
        {"lone cr inside", {"a\rb\n"}, {"a\rb"}},
        {"empty lines", {"\n\r\n\n"}, {"", "", ""}},
        {"crlf split over reads", {"a\r", "\nb"}, {"a", "b"}},
        {"line split over reads", {"ab", "c", "d\ne"}, {"abcd", "e"}},
        {"longer than the buffer", {long_line + "\nz"}, {long_line, "z"}},
        {"nul is data", {std::string("a\0b\n", 4)}, {std::string("a\0b", 3)}},
        {"interrupted read repeated", {"a", interrupted, "b\n"}, {"ab"}},
        {"read error ends", {"a\n", Error{"reset", 10054}, "b\n"}, {"a", "<error reset>"}},
        {"many lines in one read, the last cut",
         {"a\nbb\r\nccc\ndd", "d\n"},
         {"a", "bb", "ccc", "ddd"}},
        {"line feed ends a full buffer",
         {std::string(LineReader::buffer_size - 1, 'p') + "\n", "q"},
         {std::string(LineReader::buffer_size - 1, 'p'), "q"}},
        {"long line then its successor in the same read",
         {long_line, "\n" + long_line + "\r\n", "z"},
         {long_line, long_line, "z"}},
    };
    for (const auto& row : rows) {
        test::ScriptedSource copies(row.chunks);
        EXPECT_EQ(all_copies(copies), row.lines) << row.name;
        test::ScriptedSource views(row.chunks);
        EXPECT_EQ(all_views(views), row.lines) << row.name << " (views)";
    }
}

TEST(LineReader, ReadsThroughAnEightKilobyteBuffer) {
    test::ScriptedSource source({std::string(3 * LineReader::buffer_size, 'y')});
    auto lines = all_copies(source);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 3 * LineReader::buffer_size);
    EXPECT_EQ(source.reads, 5);  // three full buffers, the end, the end again for the next call
}

}  // namespace
}  // namespace vth
