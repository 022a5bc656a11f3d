#include "protocol/message_decode.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "json/convert.hpp"
#include "json/reader.hpp"

namespace vth {
namespace {

using json::Kind;
using json::Value;

enum Field : std::uint8_t {
    type,
    token,
    integrity,
    ole,
    hovering,
    interacting,
    x,
    y,
    action,
    text
};
constexpr std::array<std::string_view, 10> field_names = {
    "type",        "token", "integrity", "oleRegistered", "hovering",
    "interacting", "x",     "y",         "action",        "text"};

// The fields as they arrive; the message is built once the object closed.
struct Fields {
    std::array<bool, field_names.size()> seen{};
    std::array<std::string, field_names.size()> texts;
    std::array<bool, field_names.size()> flags{};
    std::array<std::optional<std::int32_t>, field_names.size()> numbers;
};

class MessageDecoder {
  public:
    explicit MessageDecoder(json::Cursor& cursor) : cursor_(cursor) {}

    bool start(Kind) {
        if (depth_++ == 0) return true;
        return cursor_.fail("a helper message holds no nested value");
    }
    bool end(Kind, std::size_t) {
        --depth_;
        return true;
    }
    bool key(std::string_view name) {
        field_ = -1;
        for (std::size_t i = 0; i < field_names.size(); ++i) {
            if (field_names[i] == name) field_ = static_cast<int>(i);
        }
        if (field_ < 0) return true;
        const auto f = static_cast<std::size_t>(field_);
        if (fields_.seen[f]) return cursor_.fail(json::duplicate_field(name));
        fields_.seen[f] = true;
        return true;
    }
    bool value(const Value& v) {
        if (depth_ == 0) return cursor_.fail(json::invalid_type(v, "a helper message"));
        if (field_ < 0) return true;
        return store(static_cast<std::size_t>(field_), v);
    }

    Result<HelperMessage> take() {
        if (!fields_.seen[type]) return fail(json::text(json::missing_field("type")));
        const std::string& name = fields_.texts[type];
        if (name == "hello") {
            if (auto missing = require({token, integrity, ole})) return *missing;
            return message::Hello{fields_.texts[token], fields_.texts[integrity],
                                  fields_.flags[ole]};
        }
        if (name == "state") {
            if (auto missing = require({hovering, interacting, x, y})) return *missing;
            auto point = position();
            if (!point) return std::unexpected(point.error());
            return message::State{fields_.flags[hovering], fields_.flags[interacting], *point};
        }
        if (name == "action") {
            if (auto missing = require({action, x, y})) return *missing;
            auto point = position();
            if (!point) return std::unexpected(point.error());
            return message::Action{fields_.texts[action], *point};
        }
        if (name == "textDropped") {
            if (auto missing = require({text})) return *missing;
            return message::TextDropped{fields_.texts[text]};
        }
        if (name == "addFromClipboard") return message::AddFromClipboard{};
        static constexpr std::array<std::string_view, 5> names = {
            "hello", "state", "action", "textDropped", "addFromClipboard"};
        return fail(json::unknown_variant(name, names));
    }

  private:
    bool store(std::size_t f, const Value& v) {
        switch (f) {
            case ole:
            case hovering:
            case interacting: {
                auto flag = json::to_bool(v);
                if (!flag) return cursor_.fail(flag.error());
                fields_.flags[f] = *flag;
                return true;
            }
            case x:
            case y: {
                if (v.kind == Kind::null) return true;
                auto number = json::to_integer<std::int32_t>(v, "i32");
                if (!number) return cursor_.fail(number.error());
                fields_.numbers[f] = *number;
                return true;
            }
            default: {
                auto got = json::to_text(v);
                if (!got) return cursor_.fail(got.error());
                fields_.texts[f] = std::string(*got);
                return true;
            }
        }
    }

    std::optional<std::unexpected<Error>> require(std::initializer_list<Field> wanted) const {
        for (Field f : wanted) {
            if (!fields_.seen[f]) return fail(json::text(json::missing_field(field_names[f])));
        }
        return std::nullopt;
    }

    // Both coordinates integers, or both null.
    Result<std::optional<ScreenPoint>> position() const {
        const auto& px = fields_.numbers[x];
        const auto& py = fields_.numbers[y];
        if (px.has_value() != py.has_value())
            return fail("x and y must both be null or both be integers");
        if (!px) return std::optional<ScreenPoint>{};
        return std::optional<ScreenPoint>(ScreenPoint{*px, *py});
    }

    json::Cursor& cursor_;
    Fields fields_;
    int field_ = -1;
    int depth_ = 0;
};

}  // namespace

Result<HelperMessage> decode_message(std::string_view line) {
    auto decoded = json::decode<MessageDecoder>(line);
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    return std::move(*decoded);
}

}  // namespace vth
