// Decoder behaviour the shared table does not show: NUL bytes, escaped lone
// surrogates, the recursion limit's exact edge, the sequence forms' lengths,
// number faults, the float texts inside error messages, and the sample
// storage reserved for a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/errors.hpp"
#include "protocol/command_decode.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "protocol/overlay_command.hpp"
#include "records/decoded_record.hpp"

namespace vth {
namespace {

struct Row {
    std::string input;
    std::string answer;  // OK record or ERR text
};

std::string answer_of(const Result<OverlayCommand>& command) {
    return command ? "OK " + command_record(*command) : "ERR " + command.error().text;
}

// Through both entries, which must agree: any text, and one with a NUL after it.
std::string command_answer(const std::string& input) {
    const auto text = answer_of(decode_command(std::string_view(input)));
    const auto terminated = answer_of(decode_command(json::NulTerminated{input}));
    return text == terminated ? text : "entries differ: " + text + " / " + terminated;
}

std::string times(std::string_view piece, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += piece;
    return out;
}

std::string nested(int depth) {
    return R"({"type":"shutdown","a":)" + std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']') + "}";
}

TEST(DecoderEdges, Commands) {
    using namespace std::string_literals;
    const std::vector<Row> rows = {
        {"{\"type\":\"shutdown\",\"a\":\"x\0\"}"s,
         "ERR control character (\\u0000-\\u001F) found while parsing a string at line 1 column "
         "26"},
        {"{\"type\":\"shutdown\"}\0"s, "ERR trailing characters at line 1 column 20"},
        {"\0"s, "ERR expected value at line 1 column 1"},
        {R"({"type":"shutdown","a":"\udc00"})",
         "ERR lone leading surrogate in hex escape at line 1 column 30"},
        {R"({"type":"shutdown","a":"\ud83d\ude00\u0000"})", R"(OK {"type":"shutdown"})"},
        {nested(126), R"(OK {"type":"shutdown"})"},
        {nested(127), "ERR recursion limit exceeded at line 1 column 150"},
        {R"(["shutdown",1])", "ERR invalid length 1, expected 0 elements in sequence"},
        {R"(["setVisible"])",
         "ERR invalid length 0, expected struct variant OverlayCommand::SetVisible with 1 element"},
        {R"(["updateContent","a","b",null,[]])",
         "ERR invalid length 4, expected struct variant OverlayCommand::UpdateContent with 5 "
         "elements"},
        {R"(["setPosition",1.5])", "ERR invalid type: floating point `1.5`, expected i32"},
        {R"([1.5)",
         "ERR invalid type: floating point `1.5`, expected variant identifier at line 1 column 4"},
        {R"(["shutdown" 2])", "ERR expected `,` or `]` at line 1 column 13"},
        {R"({"type":"setVisible"} x)", "ERR missing field `visible`"},
        {R"({"type":"setVisible","visible":1.5,"x")",
         "ERR EOF while parsing an object at line 1 column 38"},
        {R"({"type":"setPosition","x":1,"y":2,"samples":5,"visible":"no"})",
         R"(OK {"type":"setPosition","x":1,"y":2})"},
        {R"({"type":"shutdown","type" :1})", "ERR duplicate field `type` at line 1 column 26"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[1,2,3],{"t":1,"down":2}],"dropHover":true})",
         "ERR missing field `up`"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[1,[2],3]],"dropHover":true})",
         "ERR invalid type: sequence, expected f64"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[{"t":1,"up":2,"down":3,"x":[]}],"feedback":[{},true],"dropHover":true})",
         "ERR invalid type: map, expected a string"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[-9223372036854775808,18446744073709551615,1e-400]],"dropHover":true})",
         R"(OK {"type":"updateContent","title":"a","subtitle":"b","feedback":null,"samples":[[-9223372036854776000.0,18446744073709553000.0,0.0]],"dropHover":true})"},
        {R"({"type":"setPosition","x":-9223372036854775809,"y":0})",
         "ERR invalid type: floating point `-9223372036854776000.0`, expected i32"},
        {R"({"type":"setPosition","x":-2147483648,"y":2147483647})",
         R"(OK {"type":"setPosition","x":-2147483648,"y":2147483647})"},
        {R"({"type":"setPosition","x":0e400,"y":1})",
         "ERR invalid type: floating point `0.0`, expected i32"},
        {R"({"type":"setPosition","x":1e309 ,"y":1})",
         "ERR number out of range at line 1 column 31"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[-0E+999,1)" +
             std::string(400, '0') + R"(e-300,2]],"dropHover":true})",
         R"(OK {"type":"updateContent","title":"a","subtitle":"b","feedback":null,"samples":[[-0.0,1e100,2.0]],"dropHover":true})"},
        {"[0e999 x]",
         "ERR invalid type: floating point `0.0`, expected variant identifier at line 1 column 6"},
        {"-", "ERR EOF while parsing a value at line 1 column 1"},
        {"-x", "ERR invalid number at line 1 column 2"},
        {"[1.]", "ERR invalid number at line 1 column 4"},
        {"[1.", "ERR EOF while parsing a value at line 1 column 3"},
        {"[1e+]", "ERR invalid number at line 1 column 5"},
        {R"({"a":1 "b"})", "ERR expected `,` or `}` at line 1 column 8"},
        {R"({"a":"\ud800x"})", "ERR unexpected end of hex escape at line 1 column 13"},
        {R"({"a":"\ud800\u12"})", "ERR invalid escape at line 1 column 17"},
        {"{\"a\":\"\xff\\x\"}", "ERR invalid escape at line 1 column 9"},
        {R"({"a":"\ud800\u12)", "ERR EOF while parsing a string at line 1 column 16"},
        {"{\"a\":\"\xff\"}", "ERR invalid unicode code point at line 1 column 8"},
        {"{\"a\":\"\xff", "ERR EOF while parsing a string at line 1 column 7"},
        {"[\n\n  tru", "ERR EOF while parsing a value at line 3 column 5"},
        {"[]]", "ERR missing field `type` at line 1 column 2"},
        // A NUL inside, anywhere, is not the end of the text.
        {"[\"shutdown\"\0]"s, "ERR expected `,` or `]` at line 1 column 12"},
        {"{\"type\":\"shutdown\"}\0 "s, "ERR trailing characters at line 1 column 20"},
        {"{\"type\":\"shutdown\"}\n\0"s, "ERR trailing characters at line 2 column 1"},
        {"{\"type\":\"shutdown\",\"a\":[1\0]}"s, "ERR expected `,` or `]` at line 1 column 26"},
        {"{\"type\":\"shutdown\",\"a\":\"\xe1\x80\0\"}"s,
         "ERR control character (\\u0000-\\u001F) found while parsing a string at line 1 column "
         "27"},
        {"{\"type\":\"shutdown\",\"a\":\"\xf1\0\"}"s,
         "ERR control character (\\u0000-\\u001F) found while parsing a string at line 1 column "
         "26"},
        {"{\"type\":\"shutdown\",\"a\":\"\xe1",
         "ERR EOF while parsing a string at line 1 column 25"},
        // Numbers around the eight-digit steps, the exact ranges and the end of the text.
        {R"(["setPosition",12345678,123456789])",
         R"(OK {"type":"setPosition","x":12345678,"y":123456789})"},
        {R"(["setPosition",00,1])", "ERR invalid number at line 1 column 17"},
        {R"(["setPosition",-01,1])", "ERR invalid number at line 1 column 18"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[12345678.12345678,900719925474099.1,9007199254740993]],"dropHover":true})",
         R"(OK {"type":"updateContent","title":"a","subtitle":"b","feedback":null,"samples":[[12345678.12345678,900719925474099.1,9007199254740992.0]],"dropHover":true})"},
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[0.000001,1733600000.250000,18446744073709551616]],"dropHover":true})",
         R"(OK {"type":"updateContent","title":"a","subtitle":"b","feedback":null,"samples":[[0.000001,1733600000.25,18446744073709553000.0]],"dropHover":true})"},
        // Numbers whose value the reader itself gets wrong: 16 digits from 9 up,
        // more than 16 digits, an exponent; and the longest it gets right.
        {R"({"type":"updateContent","title":"a","subtitle":"b","samples":[[9007199254740993.5,123456789012345.678,0.00000000000000000000001],{"t":0.1e-22,"up":899999999999999.5,"down":-900719925474099.5}],"dropHover":true})",
         R"(OK {"type":"updateContent","title":"a","subtitle":"b","feedback":null,"samples":[[9007199254740994.0,123456789012345.67,1e-23],[1e-23,899999999999999.5,-900719925474099.5]],"dropHover":true})"},
        {"1.5",
         "ERR invalid type: floating point `1.5`, expected internally tagged enum OverlayCommand "
         "at line 1 column 3"},
        // A received string is quoted by at most 160 written characters, then
        // cut with its length; characters that would not show are escaped.
        {R"({"type":"setVisible","visible":")" + times("a", 160) + R"("})",
         "ERR invalid type: string \"" + times("a", 160) + "\", expected a boolean"},
        {R"({"type":"setVisible","visible":")" + times("a", 161) + R"("})",
         "ERR invalid type: string \"" + times("a", 160) + "\"… (161 bytes), expected a boolean"},
        {R"({"type":"setVisible","visible":")" + times("😀", 200) + R"("})",
         "ERR invalid type: string \"" + times("😀", 160) + "\"… (800 bytes), expected a boolean"},
        {R"({"type":"setVisible","visible":")" + times("\x7f", 30) + R"("})",
         "ERR invalid type: string \"" + times("\\u{7f}", 26) +
             "\"… (30 bytes), expected a boolean"},
        {R"({"type":"setVisible","visible":")" + times(R"(\\)", 100) + R"("})",
         "ERR invalid type: string \"" + times("\\\\", 80) + "\"… (100 bytes), expected a boolean"},
        {"{\"type\":\"setVisible\",\"visible\":"
         "\"a\u2028b\u2029c\u202ad\u202ee\u2066f\u2069\u00e9\"}",
         R"(ERR invalid type: string "a\u{2028}b\u{2029}c\u{202a}d\u{202e}e\u{2066}f\u{2069}é", expected a boolean)"},
        {R"({"type":"a\u202eb`"})",
         "ERR unknown variant `a\\u{202e}b``, expected one of `setVisible`, `setPosition`, "
         "`updateContent`, `shutdown` at line 1 column 19"},
        {R"({"type":")" + times("x", 300) + R"("})",
         "ERR unknown variant `" + times("x", 160) +
             "`… (300 bytes), expected one of `setVisible`, `setPosition`, `updateContent`, "
             "`shutdown` at line 1 column 310"},
        {R"({"type":"shutdown","visible":")" + times("\x7f", 1000) + R"(","x":")" +
             times("y", 1000) + R"("})",
         R"(OK {"type":"shutdown"})"},
        {"[-0]",
         "ERR invalid type: floating point `-0.0`, expected variant identifier at line 1 column 3"},
    };
    for (const auto& row : rows) EXPECT_EQ(command_answer(row.input), row.answer) << row.input;
}

TEST(DecoderEdges, Config) {
    const std::vector<Row> rows = {
        {R"(["h",1,"t",2,3,4])", R"(OK {"host":"h","port":1,"token":"t","x":2,"y":3,"gui_pid":4})"},
        {R"(["h",1,"t",2,3,4 , 5])", "ERR trailing characters at line 1 column 20"},
        {R"(["h",1,"t",2,3,4,])", "ERR trailing comma at line 1 column 18"},
        {R"(["h",1,"t",2,3,4,)", "ERR trailing characters at line 1 column 17"},
        {R"(["h",1,"t",2,3,4)", "ERR EOF while parsing a list at line 1 column 16"},
        {R"(["h",1,"t"])",
         "ERR invalid length 3, expected struct HelperConfig with 6 elements at line 1 column 11"},
        {R"(["h",1,"t",[]])", "ERR invalid type: sequence, expected i32 at line 1 column 11"},
        {R"({"host" :"a","host" :"b"})", "ERR duplicate field `host` at line 1 column 20"},
        {R"({"a":{"b":[1,{"c":"\u0000"}]},"host":"h","port":1,"token":"t","x":2,"y":3,"gui_pid":4})",
         R"(OK {"host":"h","port":1,"token":"t","x":2,"y":3,"gui_pid":4})"},
        {R"({"port":1e2})",
         "ERR invalid type: floating point `100.0`, expected u16 at line 1 column 11"},
        {R"({"port":65536})",
         "ERR invalid value: integer `65536`, expected u16 at line 1 column 13"},
    };
    for (const auto& row : rows) {
        auto config = decode_config(row.input);
        EXPECT_EQ(config ? "OK " + config_record(*config) : "ERR " + config.error().text,
                  row.answer)
            << row.input;
    }
}

TEST(DecoderEdges, FloatTextsArePlainDecimals) {
    const std::vector<std::pair<double, std::string>> rows = {
        {1.5, "1.5"},
        {-0.0, "-0.0"},
        {100.0, "100.0"},
        {1e-7, "0.0000001"},
        {123.456, "123.456"},
        {1e21, "1000000000000000000000.0"},
        {0.1, "0.1"},
        {-2.5e-3, "-0.0025"},
        {1.8446744073709552e19, "18446744073709552000.0"},
    };
    for (const auto& [value, text] : rows) EXPECT_EQ(json::float_text(value), text) << text;
}

// The reservation at the first sample stays within what the line can hold,
// so one sample followed by a long title costs no more than the title.
TEST(DecoderEdges, SampleReservationIsBoundedByTheLine) {
    struct Reservation {
        std::size_t first;
        std::size_t left;
        std::size_t samples;
    };
    const Reservation rows[] = {
        {8, 0, 1},                   // "[1,2,3]" alone
        {8, 80, 11},                 // ten more at most, not the estimate's 13
        {100, 800, 11},              // the estimate and a quarter
        {8, 2'000'000'000, 65'536},  // a huge title after one sample
        {24, 40'000'000, 65'536},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(sample_reservation(row.first, row.left), row.samples)
            << row.first << " then " << row.left;
    }
}

}  // namespace
}  // namespace vth
