#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include <cmath>

#include "protocol/command_decode.hpp"
#include "protocol/command_encode.hpp"
#include "protocol/config_decode.hpp"
#include "protocol/helper_message.hpp"
#include "protocol/message_decode.hpp"
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
        // The GUI's decoder reads back what the helper wrote.
        auto decoded = decode_message(row.line);
        ASSERT_TRUE(decoded) << row.line << ": " << decoded.error().text;
        EXPECT_EQ(encode_message(*decoded), row.line + "\n");
    }
}

TEST(Encoder, GuiDecoderRefusesWhatTheHelperNeverSends) {
    for (const char* line : {
             R"({"type":"hello","token":"t","integrity":"low"})",
             R"({"type":"state","hovering":false,"interacting":false,"x":1,"y":null})",
             R"({"type":"action","action":"toggleVpn","action":"x","x":1,"y":2})",
             R"({"type":"textDropped","text":{"nested":1}})",
             R"({"type":"textDropped","text":5})",
             R"({"type":"shutdown"})",
             R"({"token":"t"})",
             R"(["hello","t","low",true])",
             "",
         }) {
        EXPECT_FALSE(decode_message(line)) << line;
    }
    // A key a newer helper adds is skipped.
    EXPECT_TRUE(decode_message(R"({"type":"addFromClipboard","source":"menu"})"));
}

TEST(Encoder, CommandsAndTheConfigurationReadBackThroughTheHelpersDecoders) {
    command::UpdateContent content{"Подключено",
                                   "↑ \"1\"",
                                   std::pair{std::string("ok\n"), true},
                                   {{0, 1.5, 2}, {1e300, NAN, -INFINITY}, {2, 0.1, 3}},
                                   true};
    const std::vector<OverlayCommand> rows = {command::SetVisible{true},
                                              command::SetPosition{INT32_MIN, INT32_MAX}, content,
                                              command::Shutdown{}};
    for (const auto& command : rows) {
        const std::string line = encode_command(command);
        ASSERT_TRUE(line.ends_with("\n"));
        auto decoded = decode_command(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(decoded) << line << decoded.error().text;
        EXPECT_EQ(encode_command(*decoded), line);
    }
    EXPECT_NE(encode_command(content).find("[1e300,0.0,0.0]"), std::string::npos)
        << encode_command(content);
    // Pieces of one sample make the same line.
    std::string pieces;
    EXPECT_TRUE(encode_content_pieces(content, 1, [&](std::string_view piece) {
        pieces += piece;
        return true;
    }));
    EXPECT_EQ(pieces, encode_command(content));

    const HelperConfig config{"127.0.0.1", 65535, "0123abcd", -40, 40, 4294967295u};
    auto decoded = decode_config(encode_config(config));
    ASSERT_TRUE(decoded) << decoded.error().text;
    EXPECT_EQ(encode_config(*decoded), encode_config(config));
    EXPECT_EQ(encode_config(config), R"({"host":"127.0.0.1","port":65535,"token":"0123abcd",)"
                                     R"("x":-40,"y":40,"gui_pid":4294967295})");
}

}  // namespace
}  // namespace vth
