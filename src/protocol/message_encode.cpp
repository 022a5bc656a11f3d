#include <optional>
#include <string>
#include <variant>

#include "json/writer.hpp"
#include "protocol/helper_message.hpp"
#include "protocol/message_encode.hpp"

namespace vth {
namespace {

constexpr std::size_t initial_capacity = 128;

// Both coordinates null together, or both integers.
void position(json::CompactWriter& out, const std::optional<ScreenPoint>& point) {
    out.Key("x");
    point ? out.Int(point->x) : out.Null();
    out.Key("y");
    point ? out.Int(point->y) : out.Null();
}

void body(json::CompactWriter& out, const message::Hello& m) {
    out.Key("token");
    out.String(m.token);
    out.Key("integrity");
    out.String(m.integrity);
    out.Key("oleRegistered");
    out.Bool(m.ole_registered);
}

void body(json::CompactWriter& out, const message::State& m) {
    out.Key("hovering");
    out.Bool(m.hovering);
    out.Key("interacting");
    out.Bool(m.interacting);
    position(out, m.position);
}

void body(json::CompactWriter& out, const message::TextDropped& m) {
    out.Key("text");
    out.String(m.text);
}

void body(json::CompactWriter&, const message::AddFromClipboard&) {}

void body(json::CompactWriter& out, const message::Action& m) {
    out.Key("action");
    out.String(m.action);
    position(out, m.position);
}

constexpr std::string_view type_name(const message::Hello&) {
    return "hello";
}
constexpr std::string_view type_name(const message::State&) {
    return "state";
}
constexpr std::string_view type_name(const message::TextDropped&) {
    return "textDropped";
}
constexpr std::string_view type_name(const message::AddFromClipboard&) {
    return "addFromClipboard";
}
constexpr std::string_view type_name(const message::Action&) {
    return "action";
}

}  // namespace

std::string encode_message(const HelperMessage& message) {
    rapidjson::StringBuffer buffer(nullptr, initial_capacity);
    json::CompactWriter out(buffer);
    out.StartObject();
    std::visit(
        [&](const auto& m) {
            out.Key("type");
            out.String(type_name(m));
            body(out, m);
        },
        message);
    out.EndObject();
    std::string line(buffer.GetString(), buffer.GetSize());
    line += '\n';
    return line;
}

}  // namespace vth
