// The native build's stand-in for the overlay window: no pixels and no
// messages, but a position that moves as the window's would, so the handle,
// the overlay thread and the helper's main loop run natively under the
// sanitizers. It reports a registered drop target that never sees a drop.
#include "traffic_overlay/overlay_window.hpp"

namespace vth {
namespace {

class StandInWindow final : public OverlayWindow {
  public:
    explicit StandInWindow(ScreenPoint position) : position_(position) {}

    bool drop_target_registered() const override { return true; }
    void show(bool) override {}
    void move_to(ScreenPoint position) override { position_ = position; }
    void move_keeping_visibility(ScreenPoint position) override { position_ = position; }
    void restore_topmost() override {}
    void dispatch_messages() override {}
    std::optional<ScreenPoint> outer_position() const override { return position_; }
    std::optional<std::string> take_dropped_text() override { return std::nullopt; }
    void render(const OverlayContent&) override {}

  private:
    ScreenPoint position_;
};

}  // namespace

std::unique_ptr<OverlayWindow> open_system_overlay_window(ScreenPoint position, OverlayState&,
                                                          const std::shared_ptr<OverlayCells>&) {
    return std::make_unique<StandInWindow>(position);
}

}  // namespace vth
