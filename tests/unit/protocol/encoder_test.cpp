#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "protocol/helper_message.hpp"
#include "protocol/message_encode.hpp"

namespace vth {
namespace {

struct EncoderRow {
    HelperMessage message;
    std::string line;
};

TEST(Encoder, WritesEachMessageByteExactly) {
    const std::vector<EncoderRow> rows = {
        {message::Hello{"tok-é", "medium", true},
         R"({"type":"hello","token":"tok-é","integrity":"medium","oleRegistered":true})"},
        {message::State{false, true, ScreenPoint{-5, 7}},
         R"({"type":"state","hovering":false,"interacting":true,"x":-5,"y":7})"},
        {message::State{true, false, std::nullopt},
         R"({"type":"state","hovering":true,"interacting":false,"x":null,"y":null})"},
        {message::TextDropped{"say \"hi\"\t\\ /\nnext\r\b\f"},
         R"({"type":"textDropped","text":"say \"hi\"\t\\ /\nnext\r\b\f"})"},
        {message::TextDropped{std::string("\x01\x1f\x1b\x7f\0z", 6) + "Привет 😀"},
         "{\"type\":\"textDropped\",\"text\":\"\\u0001\\u001f\\u001b\x7f\\u0000zПривет 😀\"}"},
        {message::AddFromClipboard{}, R"({"type":"addFromClipboard"})"},
        {message::Action{"toggleVpn", ScreenPoint{INT32_MIN, INT32_MAX}},
         R"({"type":"action","action":"toggleVpn","x":-2147483648,"y":2147483647})"},
        {message::Action{"dragEnded", std::nullopt},
         R"({"type":"action","action":"dragEnded","x":null,"y":null})"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(encode_message(row.message), row.line + "\n") << row.line;
    }
}

}  // namespace
}  // namespace vth
