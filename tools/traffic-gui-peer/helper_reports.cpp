#include "helper_reports.hpp"

#include <rapidjson/document.h>

#include "helper/line_reader.hpp"

namespace vth::peer {

HelperReport parse_report(std::string_view line, std::chrono::steady_clock::time_point at) {
    HelperReport report;
    report.at = at;
    rapidjson::Document document;
    // Iterative: a line of nested brackets cannot exhaust the stack.
    document.Parse<rapidjson::kParseIterativeFlag>(line.data(), line.size());
    if (document.HasParseError() || !document.IsObject()) return report;
    const auto member = [&](const char* key) -> const rapidjson::Value* {
        const auto found = document.FindMember(key);
        return found == document.MemberEnd() ? nullptr : &found->value;
    };
    const auto text = [&](const char* key) -> std::string {
        const rapidjson::Value* v = member(key);
        return v != nullptr && v->IsString() ? std::string(v->GetString(), v->GetStringLength())
                                             : std::string();
    };
    const auto flag = [&](const char* key) -> std::optional<bool> {
        const rapidjson::Value* v = member(key);
        if (v == nullptr || !v->IsBool()) return std::nullopt;
        return v->GetBool();
    };
    report.type = text("type");
    report.token = text("token");
    report.integrity = text("integrity");
    report.action = text("action");
    report.text = text("text");
    report.ole_registered = flag("oleRegistered");
    report.hovering = flag("hovering");
    report.interacting = flag("interacting");
    const rapidjson::Value* x = member("x");
    const rapidjson::Value* y = member("y");
    if (x != nullptr && y != nullptr && x->IsInt() && y->IsInt()) {
        report.position = ScreenPoint{x->GetInt(), y->GetInt()};
    }
    return report;
}

void receive_reports(ByteSource& source, HelperReports& reports) {
    LineReader lines(source);
    for (;;) {
        auto line = lines.next();
        if (!line || !*line) break;
        reports.add(**line);
    }
    reports.close();
}

}  // namespace vth::peer
