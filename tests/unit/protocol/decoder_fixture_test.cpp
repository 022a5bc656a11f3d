// Every row of the shared decoder table through the two strict decoders.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <string>

#include "protocol/command_decode.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "protocol/overlay_command.hpp"
#include "records/decoded_record.hpp"
#include "support/fixtures.hpp"

namespace vth {
namespace {

// Records compared as JSON values, numbers by value.
bool same_record(const std::string& expected, const std::string& actual) {
    rapidjson::Document a, b;
    a.Parse(expected.data(), expected.size());
    b.Parse(actual.data(), actual.size());
    return !a.HasParseError() && !b.HasParseError() && a == b;
}

// Commands have two entries: any text, and a text with a NUL after it (as
// the command reader's lines are), which is read without a bounds test.
enum class Entry { text, nul_terminated };

std::string answer(const std::string& kind, const std::string& input, Entry entry) {
    if (kind == "config") {
        auto config = decode_config(input);
        return config ? "OK " + config_record(*config) : "ERR " + config.error().text;
    }
    auto command = entry == Entry::text ? decode_command(std::string_view(input))
                                        : decode_command(json::NulTerminated{input});
    return command ? "OK " + command_record(*command) : "ERR " + command.error().text;
}

TEST(DecoderFixture, EveryRowGivesTheExpectedAnswer) {
    const auto rows = test::read_tsv("decoder-cases.tsv");
    ASSERT_GT(rows.size(), 200u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        for (const Entry entry : {Entry::text, Entry::nul_terminated}) {
            const std::string got = answer(row[0], test::input_bytes(row[1]), entry);
            const std::string& want = row[2];
            const char* how = entry == Entry::text ? " (text)" : " (NUL-terminated)";
            if (want.starts_with("OK ") && got.starts_with("OK ")) {
                EXPECT_TRUE(same_record(want.substr(3), got.substr(3)))
                    << row[0] << " " << row[1] << how << "\n  want " << want << "\n  got  " << got;
            } else {
                EXPECT_EQ(want, got) << row[0] << " " << row[1] << how;
            }
        }
    }
}

}  // namespace
}  // namespace vth
