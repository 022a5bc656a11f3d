#pragma once
// The handle through which the main thread drives the overlay. It owns the
// overlay thread (started by create, stopped and joined by destruction), the
// command sender, the event receiver and its share of the shared cells.
// Main thread only; every operation but create and destruction returns at
// once, and a command sent after the overlay thread ended is discarded.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/channel.hpp"
#include "common/os.hpp"
#include "traffic_overlay/overlay_cells.hpp"
#include "traffic_overlay/overlay_messages.hpp"
#include "traffic_overlay/overlay_window.hpp"

namespace vth {

class TrafficOverlay {
  public:
    // Clamps (x, y) onto a visible display, starts the thread named
    // "vestrilon-traffic-overlay" and waits 40 ms. (x, y) as asked stays
    // where the overlay is meant to be when the displays change. Nothing only when the
    // thread cannot be started; a window that cannot be created leaves a
    // handle whose commands go nowhere.
    static std::optional<TrafficOverlay> create(
        std::int32_t x, std::int32_t y, OverlayServices services = system_overlay_services());

    TrafficOverlay(TrafficOverlay&&) noexcept = default;
    TrafficOverlay& operator=(TrafficOverlay&&) = delete;
    TrafficOverlay(const TrafficOverlay&) = delete;
    TrafficOverlay& operator=(const TrafficOverlay&) = delete;
    // Sends Shutdown and waits until the overlay thread has ended, or
    // overlay_join_limit has passed: a thread stuck in a call of another
    // program is left running detached.
    ~TrafficOverlay();

    void set_visible(bool visible);
    void set_position(std::int32_t x, std::int32_t y);
    // Copies every argument into the command.
    void update_content(std::string_view title, std::string_view subtitle,
                        const std::optional<Feedback>& feedback,
                        std::span<const TrafficSample> samples, bool drop_hover);

    // The oldest queued event, or Idle; never waits.
    TrafficOverlayEvent pump();

    std::optional<ScreenPoint> outer_position() const;
    bool is_interacting() const;
    bool is_drop_hovering() const;
    bool ole_registered() const;

  private:
    TrafficOverlay(Sender<OverlayCmd> commands, Receiver<TrafficOverlayEvent> events,
                   std::shared_ptr<OverlayCells> cells, std::shared_ptr<OverlayServices> services,
                   os::Thread thread);

    Sender<OverlayCmd> commands_;
    Receiver<TrafficOverlayEvent> events_;
    std::shared_ptr<OverlayCells> cells_;
    std::shared_ptr<OverlayServices> services_;  // the thread uses them until it is joined
    os::Thread thread_;
};

inline constexpr std::string_view overlay_thread_name = "vestrilon-traffic-overlay";
inline constexpr auto overlay_join_limit = std::chrono::seconds(5);

}  // namespace vth
