#pragma once
// The body of the command reader thread: lines from the GUI, each decoded on
// its own. A line that does not decode, including one that is not UTF-8, is
// logged and skipped, so a later "shutdown" still arrives; so is a line
// longer than the line reader's limit, without being held whole.
#include <functional>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "helper/byte_stream.hpp"
#include "protocol/overlay_command.hpp"

namespace vth {

inline constexpr std::string_view invalid_utf8_text = "stream did not contain valid UTF-8";
inline constexpr std::string_view rejected_command_prefix = "rejected invalid helper command: ";

// One received line (without its line end): UTF-8 checked, then decoded.
Result<OverlayCommand> decode_command_line(std::string_view raw_line);

// Receives a decoded command; false when the receiving end is gone.
using CommandReceiver = std::function<bool(OverlayCommand)>;
// Receives the log line for a rejected command.
using RejectionLog = std::function<void(std::string_view)>;

// Reads until the end of the stream, a read error (returned) or a receiver
// that is gone. Runs on the command reader thread.
Result<void> read_commands(ByteSource& source, const CommandReceiver& on_command,
                           const RejectionLog& on_rejected);

}  // namespace vth
