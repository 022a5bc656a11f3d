#pragma once
// The helper's side of the connection as the GUI reads it: bytes to lines,
// the first line judged as a hello, lines to events, and the log's last
// fatal line. Plain data and free functions; one thread each.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/client_event.hpp"
#include "protocol/helper_message.hpp"

namespace vth::client {

// Lines from the bytes added so far, split at line feeds (a carriage return
// before one is dropped). A line longer than max_line is dropped whole, so
// no sender can make us hold more than that.
class LineBuffer {
  public:
    static constexpr std::size_t default_max_line = std::size_t{64} << 20;
    LineBuffer() = default;
    explicit LineBuffer(std::size_t max_line) : max_line_(max_line) {}

    void add(std::string_view bytes);
    // The next whole line, if one is there.
    std::optional<std::string> take();
    // Bytes held that are not yet a whole line.
    std::size_t pending_bytes() const;
    // Every byte held and not taken, as it came, for another reader of the
    // same stream; the buffer is empty afterwards.
    std::string take_bytes();

  private:
    std::size_t max_line_ = default_max_line;
    std::string pending_;
    std::size_t begin_ = 0;    // where the next line starts
    std::size_t scanned_ = 0;  // [begin_, scanned_) holds no line feed
    bool skipping_ = false;
};

// A connection's first line, as a hello with our token or not.
enum class Verdict { undecided, ours, refused };
// The longest first line taken from anybody: a hello is about a hundred bytes.
inline constexpr std::size_t hello_line_limit = 4096;
Verdict judge_first_line(const std::optional<std::string>& line, std::size_t pending_bytes,
                         std::string_view token, message::Hello* hello);

// The event for one message; state changes also come as events.
ClientEvent event_of(const HelperMessage& message);

// The helper's last log line when it is "traffic helper fatal: …"; empty
// otherwise. log_tail is the end of traffic-helper.log written during the run.
std::string fatal_line(std::string_view log_tail);

}  // namespace vth::client
