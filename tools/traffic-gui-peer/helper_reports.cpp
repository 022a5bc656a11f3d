#include "helper_reports.hpp"

#include <rapidjson/document.h>

#include "helper/line_reader.hpp"

namespace vth::peer {

HelperReport parse_report(std::string_view line, std::chrono::steady_clock::time_point at) {
    HelperReport report;
    report.at = at;
    rapidjson::Document document;
    document.Parse(line.data(), line.size());
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
    const rapidjson::Value* x = member("x");
    const rapidjson::Value* y = member("y");
    if (x != nullptr && y != nullptr && x->IsInt() && y->IsInt()) {
        report.position = ScreenPoint{x->GetInt(), y->GetInt()};
    }
    return report;
}

void HelperReports::add(std::string_view line) {
    HelperReport report = parse_report(line, Clock::now());
    std::lock_guard lock(mutex_);
    reports_.push_back(std::move(report));
    changed_.notify_all();
}

void HelperReports::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

std::optional<std::size_t> HelperReports::wait_for(
    std::size_t from, const std::function<bool(const HelperReport&)>& match,
    Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    std::size_t next = from;
    for (;;) {
        for (; next < reports_.size(); ++next) {
            if (match(reports_[next])) return next;
        }
        if (closed_) return std::nullopt;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
            next == reports_.size() && !closed_) {
            return std::nullopt;
        }
    }
}

HelperReport HelperReports::at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return reports_[index];
}

std::size_t HelperReports::size() const {
    std::lock_guard lock(mutex_);
    return reports_.size();
}

bool HelperReports::wait_closed(Clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, [&] { return closed_; });
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
