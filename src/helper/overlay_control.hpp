#pragma once
// The overlay handle's operations as the main loop uses them, so the loop
// runs in tests against a scripted overlay. The helper's own implementation
// forwards to TrafficOverlay. Main thread only.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/screen_point.hpp"
#include "traffic_overlay/overlay_messages.hpp"
#include "traffic_overlay/traffic_overlay.hpp"

namespace vth {

class OverlayControl {
  public:
    // Destruction stops the overlay and removes its window.
    virtual ~OverlayControl() = default;
    virtual void set_visible(bool visible) = 0;
    virtual void set_position(std::int32_t x, std::int32_t y) = 0;
    virtual void update_content(std::string_view title, std::string_view subtitle,
                                const std::optional<Feedback>& feedback,
                                std::span<const TrafficSample> samples, bool drop_hover) = 0;
    virtual TrafficOverlayEvent pump() = 0;
    virtual std::optional<ScreenPoint> outer_position() const = 0;
    virtual bool is_interacting() const = 0;
    virtual bool is_drop_hovering() const = 0;
    virtual bool ole_registered() const = 0;
};

class TrafficOverlayControl final : public OverlayControl {
  public:
    explicit TrafficOverlayControl(TrafficOverlay overlay) : overlay_(std::move(overlay)) {}
    void set_visible(bool visible) override { overlay_.set_visible(visible); }
    void set_position(std::int32_t x, std::int32_t y) override { overlay_.set_position(x, y); }
    void update_content(std::string_view title, std::string_view subtitle,
                        const std::optional<Feedback>& feedback,
                        std::span<const TrafficSample> samples, bool drop_hover) override {
        overlay_.update_content(title, subtitle, feedback, samples, drop_hover);
    }
    TrafficOverlayEvent pump() override { return overlay_.pump(); }
    std::optional<ScreenPoint> outer_position() const override { return overlay_.outer_position(); }
    bool is_interacting() const override { return overlay_.is_interacting(); }
    bool is_drop_hovering() const override { return overlay_.is_drop_hovering(); }
    bool ole_registered() const override { return overlay_.ole_registered(); }

  private:
    TrafficOverlay overlay_;
};

}  // namespace vth
