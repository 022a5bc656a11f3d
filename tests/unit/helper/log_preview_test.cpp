#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "helper/log_preview.hpp"

namespace vth {
namespace {

using namespace std::literals;

// prefix followed by times copies of piece; appends only, which keeps GCC 12's
// -Wrestrict false positive on string concatenation away.
std::string repeat(std::string_view piece, std::size_t times, std::string_view prefix = "") {
    std::string out{prefix};
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

std::string in_quotes(std::string_view body) {
    std::string out = "\"";
    out += body;
    out += '"';
    return out;
}

TEST(LogPreview, EscapesOnlyWhatWouldNotShow) {
    struct Row {
        std::string_view text;
        std::string_view quoted;
    };
    const Row rows[] = {
        {"", R"("")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"C:\\dir\\", R"("C:\\dir\\")"},
        {"a\nb\rc\td", R"("a\nb\rc\td")"},
        {"a\0b"sv, R"("a\0b")"},
        {"\x01", R"("\u{1}")"},
        {"\x1f", R"("\u{1f}")"},
        {"\x7f", R"("\u{7f}")"},
        {"\u0085", R"("\u{85}")"},
        {"\u00a0", R"("\u{a0}")"},
        {"\u00ad", R"("\u{ad}")"},
        {"\u200b", R"("\u{200b}")"},
        {"\u200d", R"("\u{200d}")"},
        {"e\u0301", R"("e\u{301}")"},
        {"\u036f\u0370", R"("\u{36f}Ͱ")"},
        {"\u0378", R"("\u{378}")"},
        {"\ue000", R"("\u{e000}")"},
        {"\U0010fffd", R"("\u{10fffd}")"},
        {"\U0010ffff", R"("\u{10ffff}")"},
        {"\u2028\u2029", R"("\u{2028}\u{2029}")"},
        {"\u3000", R"("\u{3000}")"},
        {"\ufe0f", R"("\u{fe0f}")"},
        {"\ufeff", R"("\u{feff}")"},
        {"a b ~", R"("a b ~")"},
        {"¡дом", R"("¡дом")"},
        {"😀 ok", R"("😀 ok")"},
        {"http://例え.jp/?q=1", R"("http://例え.jp/?q=1")"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(quoted_preview(row.text), row.quoted) << row.text;
    }
}

TEST(LogPreview, KeepsFirstScalarValuesWhole) {
    struct Row {
        std::string text;
        std::size_t max_scalars;
        std::string quoted;
    };
    const Row rows[] = {
        {repeat("a", 500), 160, in_quotes(repeat("a", 160))},
        {repeat("д", 500), 160, in_quotes(repeat("д", 160))},
        {repeat("😀", 500), 160, in_quotes(repeat("😀", 160))},
        {repeat("д", 499, "a"), 160, in_quotes(repeat("д", 159, "a"))},
        // An escape is still one scalar value however long it is written.
        {repeat("\n", 500), 160, in_quotes(repeat("\\n", 160))},
        {repeat("\u00a0", 500), 160, in_quotes(repeat("\\u{a0}", 160))},
        {repeat("a", 160), 160, in_quotes(repeat("a", 160))},
        {repeat("a", 159), 160, in_quotes(repeat("a", 159))},
        {"дом", 2, "\"до\""},
        {"дом", 0, "\"\""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(quoted_preview(row.text, row.max_scalars), row.quoted)
            << row.text.size() << " bytes, " << row.max_scalars << " scalars";
    }
}

TEST(LogPreview, DefaultsToOneHundredSixtyScalarValues) {
    EXPECT_EQ(quoted_preview(repeat("ж", 500)), in_quotes(repeat("ж", 160)));
}

// Malformed input is not expected, but must stay inside the text. The bytes sit
// in an exact-size heap block so the sanitizer sees any read past the end.
TEST(LogPreview, MalformedBytesBecomeReplacementCharacters) {
    struct Row {
        std::string_view text;
        std::string_view quoted;
    };
    const Row rows[] = {
        {"\xd0", "\"\xEF\xBF\xBD\""},
        {"д\xd0", "\"д\xEF\xBF\xBD\""},
        {"\xf0\x9f\x98", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\x80"
         "a",
         "\"\xEF\xBF\xBD"
         "a\""},
        {"\xc0\xaf", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xed\xa0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xf4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xff", "\"\xEF\xBF\xBD\""},
    };
    for (const auto& row : rows) {
        const auto bytes = std::make_unique<char[]>(row.text.size());
        row.text.copy(bytes.get(), row.text.size());
        EXPECT_EQ(quoted_preview({bytes.get(), row.text.size()}), row.quoted) << row.quoted;
    }
}

}  // namespace
}  // namespace vth
