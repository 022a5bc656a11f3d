#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_streams.hpp"
#include "helper/send_message.hpp"
#include "protocol/message_encode.hpp"

namespace vth {
namespace {

struct SendRow {
    std::string name;
    std::deque<test::ScriptedSink::Step> script;
    std::string error;  // empty: success
    long os_code = 0;
    std::size_t written;  // bytes that reached the sink
};

TEST(SendMessage, WritesTheWholeLineOrFails) {
    const HelperMessage message = message::TextDropped{"https://example.org/"};
    const std::string line = encode_message(message);
    const Error interrupted{"interrupted", os::interrupted_os_code()};
    const std::vector<SendRow> rows = {
        {"one write", {std::size_t{1000}}, "", 0, line.size()},
        {"partial writes", {std::size_t{3}}, "", 0, line.size()},
        {"interrupted then written",
         {interrupted, interrupted, std::size_t{1000}},
         "",
         0,
         line.size()},
        {"zero write", {std::size_t{5}, std::size_t{0}}, "failed to write whole buffer", 0, 5},
        {"write error",
         {std::size_t{4}, Error{"timed out (os error 10060)", 10060}},
         "timed out (os error 10060)",
         10060,
         4},
    };
    for (const auto& row : rows) {
        test::ScriptedSink sink(row.script);
        auto sent = send_message(sink, message);
        EXPECT_EQ(sink.written, line.substr(0, row.written)) << row.name;
        if (row.error.empty()) {
            EXPECT_TRUE(sent) << row.name;
        } else {
            ASSERT_FALSE(sent) << row.name;
            EXPECT_EQ(sent.error().text, row.error) << row.name;
            EXPECT_EQ(sent.error().os_code, row.os_code) << row.name;
        }
    }
}

}  // namespace
}  // namespace vth
