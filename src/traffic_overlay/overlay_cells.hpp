#pragma once
// The four cells the main thread reads without asking the overlay thread.
// Held jointly by the handle and the overlay thread. The flags are written
// with atomic exchanges and read with atomic loads; no ordering with other
// data is relied on. last_position's mutex is held only for the copy.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "common/screen_point.hpp"

namespace vth {

class OverlayCells {
  public:
    explicit OverlayCells(ScreenPoint position) : last_position_(position) {}

    // Shared with the drop target, which keeps it up to date on the overlay thread.
    const std::shared_ptr<std::atomic<bool>> drop_hovering =
        std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> interacting{false};
    std::atomic<bool> ole_registered{false};

    std::optional<ScreenPoint> last_position() const {
        std::lock_guard lock(mutex_);
        return last_position_;
    }
    void store_position(ScreenPoint position) {
        std::lock_guard lock(mutex_);
        last_position_ = position;
    }

  private:
    mutable std::mutex mutex_;
    std::optional<ScreenPoint> last_position_;
};

}  // namespace vth
