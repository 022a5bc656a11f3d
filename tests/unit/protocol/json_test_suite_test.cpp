// The public JSON conformance suite through the configuration decoder: no
// accepted document may be called malformed, no rejected one may decode.
// The command decoder meets the same files for its safety alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/command_decode.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"
#include "protocol/overlay_command.hpp"
#include "support/fixtures.hpp"

namespace vth {
namespace {

// Errors about the decoded record rather than the text.
bool is_record_error(const std::string& text) {
    for (const char* prefix : {"invalid type: ", "invalid value: ", "invalid length ",
                               "missing field ", "duplicate field "}) {
        if (text.starts_with(prefix)) return true;
    }
    return false;
}

std::vector<std::string> suite_files() {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(test::fixture_path("jsontestsuite"))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(JsonTestSuite, ConfigDecoderAgreesWithTheSuite) {
    const auto names = suite_files();
    ASSERT_GT(names.size(), 300u);
    for (const auto& name : names) {
        const auto bytes = test::read_fixture("jsontestsuite/" + name);
        const auto result = decode_config(bytes);
        (void)decode_command(bytes);  // must not crash either
        if (name.starts_with("y_")) {
            EXPECT_TRUE(result || is_record_error(result.error().text))
                << name << ": " << result.error().text;
        } else if (name.starts_with("n_")) {
            EXPECT_FALSE(result) << name;
        }
    }
}

}  // namespace
}  // namespace vth
