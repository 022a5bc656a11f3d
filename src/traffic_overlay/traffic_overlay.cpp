#include "traffic_overlay/traffic_overlay.hpp"

#include <chrono>
#include <string>
#include <utility>

#include "common/os.hpp"
#include "traffic_overlay/overlay_pass.hpp"

namespace vth {

std::optional<TrafficOverlay> TrafficOverlay::create(std::int32_t x, std::int32_t y,
                                                     OverlayServices services) {
    auto shared_services = std::make_shared<OverlayServices>(std::move(services));
    ScreenPoint position = shared_services->clamp({x, y});
    auto [command_sender, command_receiver] = make_channel<OverlayCmd>();
    auto [event_sender, event_receiver] = make_channel<TrafficOverlayEvent>();
    auto cells = std::make_shared<OverlayCells>(position);
    auto body = [placement = OverlayPlacement{{x, y}, position},
                 commands = std::move(command_receiver), events = std::move(event_sender), cells,
                 services = shared_services]() mutable noexcept {
        try {
            overlay_thread_main(placement, std::move(commands), std::move(events), cells,
                                *services);
        } catch (...) {
            // An abnormal end of the overlay thread is swallowed; the handle
            // keeps working with the window gone.
        }
    };
    auto thread = os::start_thread(std::string(overlay_thread_name), std::move(body));
    if (!thread) return std::nullopt;
    shared_services->sleep(std::chrono::milliseconds(40));
    return TrafficOverlay(std::move(command_sender), std::move(event_receiver), std::move(cells),
                          std::move(shared_services), std::move(*thread));
}

TrafficOverlay::TrafficOverlay(Sender<OverlayCmd> commands, Receiver<TrafficOverlayEvent> events,
                               std::shared_ptr<OverlayCells> cells,
                               std::shared_ptr<OverlayServices> services, os::Thread thread)
    : commands_(std::move(commands)),
      events_(std::move(events)),
      cells_(std::move(cells)),
      services_(std::move(services)),
      thread_(std::move(thread)) {}

TrafficOverlay::~TrafficOverlay() {
    commands_.send(overlay_cmd::Shutdown{});
    // A drag source that never answers keeps the thread inside its call, so
    // the wait is bounded: past it the thread runs on detached, holding its
    // own shares of what it uses, until the process ends.
    if (thread_.joinable()) thread_.join_for(overlay_join_limit);
}

void TrafficOverlay::set_visible(bool visible) {
    commands_.send(overlay_cmd::SetVisible{visible});
}

void TrafficOverlay::set_position(std::int32_t x, std::int32_t y) {
    commands_.send(overlay_cmd::SetPosition{x, y});
}

void TrafficOverlay::update_content(std::string_view title, std::string_view subtitle,
                                    const std::optional<Feedback>& feedback,
                                    std::span<const TrafficSample> samples, bool drop_hover) {
    OverlayContent content{std::string(title), std::string(subtitle), feedback,
                           std::vector<TrafficSample>(samples.begin(), samples.end()), drop_hover};
    commands_.send(overlay_cmd::UpdateContent{std::move(content)});
}

TrafficOverlayEvent TrafficOverlay::pump() {
    if (auto event = events_.try_receive()) return std::move(*event);
    return overlay_event::Idle{};
}

std::optional<ScreenPoint> TrafficOverlay::outer_position() const {
    return cells_ ? cells_->last_position() : std::nullopt;
}

bool TrafficOverlay::is_interacting() const {
    return cells_ && cells_->interacting.load();
}

bool TrafficOverlay::is_drop_hovering() const {
    return cells_ && cells_->drop_hovering->load();
}

bool TrafficOverlay::ole_registered() const {
    return cells_ && cells_->ole_registered.load();
}

}  // namespace vth
