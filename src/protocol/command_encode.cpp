#include "protocol/command_encode.hpp"

#include <cmath>
#include <variant>

#include "json/writer.hpp"

namespace vth {
namespace {

constexpr std::size_t initial_capacity = 128;

double finite(double value) {
    return std::isfinite(value) ? value : 0.0;
}

void body(json::CompactWriter& out, const command::SetVisible& c) {
    out.Key("visible");
    out.Bool(c.visible);
}

void body(json::CompactWriter& out, const command::SetPosition& c) {
    out.Key("x");
    out.Int(c.x);
    out.Key("y");
    out.Int(c.y);
}

void body(json::CompactWriter&, const command::Shutdown&) {}

constexpr std::string_view type_name(const command::SetVisible&) {
    return "setVisible";
}
constexpr std::string_view type_name(const command::SetPosition&) {
    return "setPosition";
}
constexpr std::string_view type_name(const command::UpdateContent&) {
    return "updateContent";
}
constexpr std::string_view type_name(const command::Shutdown&) {
    return "shutdown";
}

std::string line_of(const rapidjson::StringBuffer& buffer) {
    std::string line(buffer.GetString(), buffer.GetSize());
    line += '\n';
    return line;
}

}  // namespace

bool encode_content_pieces(const command::UpdateContent& c, std::size_t samples_per_piece,
                           const std::function<bool(std::string_view)>& take) {
    rapidjson::StringBuffer buffer(nullptr, initial_capacity);
    json::CompactWriter out(buffer);
    // The writer only appends to the buffer, so what it holds can be handed
    // over and cleared between samples.
    auto hand_over = [&] {
        const bool go_on = take(std::string_view(buffer.GetString(), buffer.GetSize()));
        buffer.Clear();
        return go_on;
    };
    out.StartObject();
    out.Key("type");
    out.String(type_name(c));
    out.Key("title");
    out.String(c.title);
    out.Key("subtitle");
    out.String(c.subtitle);
    out.Key("feedback");
    if (c.feedback) {
        out.StartArray();
        out.String(c.feedback->first);
        out.Bool(c.feedback->second);
        out.EndArray();
    } else {
        out.Null();
    }
    out.Key("samples");
    out.StartArray();
    std::size_t in_piece = 0;
    for (const WireSample& s : c.samples) {
        out.StartArray();
        out.Double(finite(s.t));
        out.Double(finite(s.up));
        out.Double(finite(s.down));
        out.EndArray();
        if (++in_piece == samples_per_piece) {
            in_piece = 0;
            if (!hand_over()) return false;
        }
    }
    out.EndArray();
    out.Key("dropHover");
    out.Bool(c.drop_hover);
    out.EndObject();
    buffer.Put('\n');
    return hand_over();
}

std::string encode_command(const OverlayCommand& command) {
    if (const auto* content = std::get_if<command::UpdateContent>(&command)) {
        std::string line;
        encode_content_pieces(*content, content->samples.size() + 1, [&](std::string_view piece) {
            line += piece;
            return true;
        });
        return line;
    }
    rapidjson::StringBuffer buffer(nullptr, initial_capacity);
    json::CompactWriter out(buffer);
    out.StartObject();
    std::visit(
        [&](const auto& c) {
            out.Key("type");
            out.String(type_name(c));
            if constexpr (!std::is_same_v<std::decay_t<decltype(c)>, command::UpdateContent>) {
                body(out, c);
            }
        },
        command);
    out.EndObject();
    return line_of(buffer);
}

std::string encode_config(const HelperConfig& config) {
    rapidjson::StringBuffer buffer(nullptr, initial_capacity);
    json::CompactWriter out(buffer);
    out.StartObject();
    out.Key("host");
    out.String(config.host);
    out.Key("port");
    out.Uint(config.port);
    out.Key("token");
    out.String(config.token);
    out.Key("x");
    out.Int(config.x);
    out.Key("y");
    out.Int(config.y);
    out.Key("gui_pid");
    out.Uint(config.gui_pid);
    out.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace vth
