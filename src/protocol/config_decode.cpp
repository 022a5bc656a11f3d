#include <array>
#include <cstddef>
#include <string_view>

#include "json/convert.hpp"
#include "json/reader.hpp"
#include "protocol/config.hpp"
#include "protocol/config_decode.hpp"

namespace vth {
namespace {

using json::Kind;
using json::Value;

constexpr std::array<std::string_view, 6> field_names = {"host", "port", "token",
                                                         "x",    "y",    "gui_pid"};
constexpr std::string_view record_name = "struct HelperConfig";

// Fields are stored as they arrive; every error carries its position, since
// the configuration is decoded while it is read.
class ConfigDecoder {
  public:
    explicit ConfigDecoder(json::Cursor& cursor) : cursor_(cursor) {}

    bool value(const Value& v) {
        switch (state_) {
            case State::root:
                return cursor_.fail_at(json::invalid_type(v, record_name), cursor_.offset());
            case State::member_value:
                state_ = State::member_key;
                return field_ < 0 || store(field_, v);
            case State::element:
                return element(v);
            default:
                return true;
        }
    }

    bool start(Kind kind) {
        switch (state_) {
            case State::root:
                state_ = kind == Kind::map ? State::member_key : State::element;
                return true;
            case State::member_value:
                if (field_ >= 0) return wrong_container(kind, field_);
                state_ = State::skipping;
                skip_depth_ = 1;
                return true;
            case State::element:
                return wrong_container(kind, static_cast<int>(elements_));
            case State::skipping:
                ++skip_depth_;
                return true;
            default:
                return true;
        }
    }

    bool end(Kind, std::size_t) {
        switch (state_) {
            case State::skipping:
                if (--skip_depth_ == 0) state_ = State::member_key;
                return true;
            case State::member_key:
                return finish_members();
            case State::element:
                if (elements_ < field_names.size()) {
                    return cursor_.fail_at(
                        json::invalid_length(elements_,
                                             json::with_elements(record_name, field_names.size())),
                        cursor_.offset());
                }
                return true;
            default:
                return true;
        }
    }

    bool key(std::string_view name) {
        if (state_ == State::skipping) return true;
        state_ = State::member_value;
        field_ = -1;
        for (std::size_t i = 0; i < field_names.size(); ++i) {
            if (name != field_names[i]) continue;
            if (seen_ & (1u << i)) {
                // Reported where the decoder stands: after the key and any blanks.
                return cursor_.fail_at(json::duplicate_field(field_names[i]),
                                       json::skip_whitespace(cursor_.input(), cursor_.offset()));
            }
            field_ = static_cast<int>(i);
        }
        return true;
    }

    HelperConfig take() { return std::move(config_); }

  private:
    enum class State { root, member_key, member_value, skipping, element };

    bool element(const Value& v) {
        if (!store(static_cast<int>(elements_), v)) return false;
        if (++elements_ < field_names.size()) return true;
        if (auto error = json::sequence_end_error(cursor_.input(), cursor_.offset())) {
            return cursor_.fail(*error);
        }
        return true;
    }

    bool store(int field, const Value& v) {
        seen_ |= 1u << field;
        switch (field) {
            case 0:
                return assign(json::to_text(v), config_.host);
            case 1:
                return assign(json::to_integer<std::uint16_t>(v, "u16"), config_.port);
            case 2:
                return assign(json::to_text(v), config_.token);
            case 3:
                return assign(json::to_integer<std::int32_t>(v, "i32"), config_.x);
            case 4:
                return assign(json::to_integer<std::int32_t>(v, "i32"), config_.y);
            default:
                return assign(json::to_integer<std::uint32_t>(v, "u32"), config_.gui_pid);
        }
    }

    template <typename T, typename Field>
    bool assign(const json::Converted<T>& converted, Field& field) {
        if (!converted) return cursor_.fail_at(converted.error(), cursor_.offset());
        field = Field(*converted);
        return true;
    }

    // A container where a field wants a scalar: reported before its bracket.
    bool wrong_container(Kind kind, int field) {
        static constexpr std::array<std::string_view, 6> wanted = {"a string", "u16", "a string",
                                                                   "i32",      "i32", "u32"};
        return cursor_.fail_at(
            json::invalid_type(json::container(kind), wanted[static_cast<std::size_t>(field)]),
            cursor_.offset() - 1);
    }

    bool finish_members() {
        for (std::size_t i = 0; i < field_names.size(); ++i) {
            if (!(seen_ & (1u << i)))
                return cursor_.fail_at(json::missing_field(field_names[i]), cursor_.offset());
        }
        return true;
    }

    json::Cursor& cursor_;
    HelperConfig config_;
    State state_ = State::root;
    int field_ = -1;
    unsigned seen_ = 0;
    std::size_t elements_ = 0;
    std::size_t skip_depth_ = 0;
};

}  // namespace

Result<HelperConfig> decode_config(std::string_view bytes) {
    return json::decode<ConfigDecoder>(bytes);
}

}  // namespace vth
