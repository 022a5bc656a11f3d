#include "records/decoded_record.hpp"

#include <variant>

#include "json/writer.hpp"

namespace vth {
namespace {

std::string finish(const rapidjson::StringBuffer& buffer) {
    return std::string(buffer.GetString(), buffer.GetSize());
}

struct CommandFields {
    json::CompactWriter& out;

    void operator()(const command::SetVisible& c) const {
        type("setVisible");
        out.Key("visible");
        out.Bool(c.visible);
    }
    void operator()(const command::SetPosition& c) const {
        type("setPosition");
        out.Key("x");
        out.Int(c.x);
        out.Key("y");
        out.Int(c.y);
    }
    void operator()(const command::UpdateContent& c) const {
        type("updateContent");
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
        for (const auto& s : c.samples) {
            out.StartArray();
            out.Double(s.t);
            out.Double(s.up);
            out.Double(s.down);
            out.EndArray();
        }
        out.EndArray();
        out.Key("dropHover");
        out.Bool(c.drop_hover);
    }
    void operator()(const command::Shutdown&) const { type("shutdown"); }

    void type(std::string_view name) const {
        out.Key("type");
        out.String(name);
    }
};

}  // namespace

std::string config_record(const HelperConfig& config) {
    rapidjson::StringBuffer buffer;
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
    return finish(buffer);
}

std::string command_record(const OverlayCommand& command) {
    rapidjson::StringBuffer buffer;
    json::CompactWriter out(buffer);
    out.StartObject();
    std::visit(CommandFields{out}, command);
    out.EndObject();
    return finish(buffer);
}

}  // namespace vth
