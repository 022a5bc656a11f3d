#pragma once
// Structured diagnostic events raised by the overlay and drop modules and by
// writes into the data directory. The helper installs no sink, so events
// cost one atomic load and go nowhere; tests install a sink to see them. The
// sink is called on the raising thread.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vth::diag {

enum class Level : std::uint8_t { info, warning };

struct Field {
    std::string name;
    std::string value;
};

struct Event {
    Level level = Level::info;
    std::string target;  // e.g. "vestrilon_traffic_helper::traffic_overlay"
    std::string message;
    std::vector<Field> fields;
};

using Sink = std::function<void(const Event&)>;

// Replaces the sink (an empty function removes it). Not for use while events
// may be raised on other threads.
void set_sink(Sink sink);
bool has_sink() noexcept;
void emit(const Event& event);

inline constexpr std::string_view overlay_target = "vestrilon_traffic_helper::traffic_overlay";
inline constexpr std::string_view drop_target = "vestrilon_traffic_helper::traffic_drop";
inline constexpr std::string_view data_directory_target =
    "vestrilon_traffic_helper::data_directory";

}  // namespace vth::diag
