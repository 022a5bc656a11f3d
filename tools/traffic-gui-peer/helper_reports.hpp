#pragma once
// The self-test's view of what the helper sends: every message with the
// fields the checks look at and the time it arrived. The reader thread adds,
// the session waits.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "common/screen_point.hpp"
#include "helper/byte_stream.hpp"
#include "waitable_list.hpp"

namespace vth::peer {

struct HelperReport {
    std::chrono::steady_clock::time_point at;
    std::string type;  // empty when the line is no JSON object with a string type
    std::string token;
    std::string integrity;
    std::string action;
    std::string text;
    std::optional<bool> ole_registered;
    std::optional<bool> hovering;
    std::optional<bool> interacting;
    std::optional<ScreenPoint> position;  // both x and y integers
};

HelperReport parse_report(std::string_view line, std::chrono::steady_clock::time_point at);

class HelperReports : public WaitableList<HelperReport> {
  public:
    void add(std::string_view line) { push(parse_report(line, Clock::now())); }
};

// The reader thread's body: lines until the end of the stream or an error.
void receive_reports(ByteSource& source, HelperReports& reports);

}  // namespace vth::peer
