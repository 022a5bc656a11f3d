#pragma once
// The self-test's view of what the helper sends: every message with the
// fields the checks look at and the time it arrived. The reader thread adds,
// the session waits.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/screen_point.hpp"
#include "helper/byte_stream.hpp"

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
    std::optional<ScreenPoint> position;  // both x and y integers
};

HelperReport parse_report(std::string_view line, std::chrono::steady_clock::time_point at);

class HelperReports {
  public:
    using Clock = std::chrono::steady_clock;

    void add(std::string_view line);
    void close();

    // The index of the first report from `from` on that matches, waiting up
    // to the deadline; nothing when none came or the connection ended.
    std::optional<std::size_t> wait_for(std::size_t from,
                                        const std::function<bool(const HelperReport&)>& match,
                                        Clock::time_point deadline);
    HelperReport at(std::size_t index) const;
    std::size_t size() const;
    bool wait_closed(Clock::time_point deadline);

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<HelperReport> reports_;
    bool closed_ = false;
};

// The reader thread's body: lines until the end of the stream or an error.
void receive_reports(ByteSource& source, HelperReports& reports);

}  // namespace vth::peer
