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
    std::size_t max_line = LineReader::default_max_line;
};

// Every line the reader delivers through `next` (copies or views), a refused
// line as "<too long>"; each must have a NUL right after it, as std::string's
// and the views' promise.
template <typename Next>
std::vector<std::string> all_lines(ByteSource& source, std::size_t max_line, Next next) {
    LineReader reader(source, max_line);
    std::vector<std::string> lines;
    for (;;) {
        auto line = next(reader);
        if (!line) {
            lines.push_back("<error " + line.error().text + ">");
            return lines;
        }
        if (!*line) return lines;
        if ((*line)->too_long) {
            lines.emplace_back("<too long>");
            continue;
        }
        const std::string_view text = (*line)->text;
        lines.emplace_back(text);
        if (text.data()[text.size()] != '\0') lines.back() += "<no NUL after>";
    }
}

std::vector<std::string> all_copies(ByteSource& source, std::size_t max_line) {
    std::string copy;
    return all_lines(source, max_line, [&](LineReader& reader) -> Result<std::optional<LineView>> {
        auto line = reader.next();
        if (!line && line.error().text == reader.too_long_text()) {
            return LineView{{}, true};
        }
        if (!line) return std::unexpected(line.error());
        if (!*line) return std::nullopt;
        copy = std::move(**line);
        return LineView{copy};
    });
}
std::vector<std::string> all_views(ByteSource& source, std::size_t max_line) {
    return all_lines(source, max_line, [](LineReader& reader) { return reader.next_view(); });
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
        {"at the limit", {"0123456789\n"}, {"0123456789"}, 10},
        {"at the limit as the last line", {"0123456789"}, {"0123456789"}, 10},
        {"at the limit with crlf", {"0123456789\r", "\nz"}, {"0123456789", "z"}, 10},
        {"over the limit with its line feed in view",
         {"0123456789a\nb\n"},
         {"<too long>", "b"},
         10},
        {"over the limit, the rest skipped over reads",
         {"0123456789ab", "cd", "ef\r\nok\n"},
         {"<too long>", "ok"},
         10},
        {"over the limit before the end", {"a\n0123456789a"}, {"a", "<too long>"}, 10},
        {"cr kept at the end counts", {"0123456789\r"}, {"<too long>"}, 10},
        {"never a line feed after the limit", {"0123456789ab", "cdef"}, {"<too long>"}, 10},
        {"read error while skipping",
         {"0123456789ab", Error{"reset", 10054}, "c\nd\n"},
         {"<too long>", "<error reset>"},
         10},
        {"over a limit past the first buffer growth",
         {long_line, "\nz\n", long_line + "\n"},
         {"<too long>", "z", "<too long>"},
         long_line.size() - 1},
    };
    for (const auto& row : rows) {
        test::ScriptedSource copies(row.chunks);
        EXPECT_EQ(all_copies(copies, row.max_line), row.lines) << row.name;
        test::ScriptedSource views(row.chunks);
        EXPECT_EQ(all_views(views, row.max_line), row.lines) << row.name << " (views)";
    }
}

TEST(LineReader, ReadsThroughAnEightKilobyteBuffer) {
    test::ScriptedSource source({std::string(3 * LineReader::buffer_size, 'y')});
    auto lines = all_copies(source, LineReader::default_max_line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 3 * LineReader::buffer_size);
    EXPECT_EQ(source.reads, 5);  // three full buffers, the end, the end again for the next call
}

}  // namespace
}  // namespace vth
